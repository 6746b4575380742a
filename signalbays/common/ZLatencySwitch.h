#pragma once

#include <algorithm>

namespace vesk
{

/** Equal-latency switching between a bay's processed path and its dry path.

    Both paths delay by the bay's latency L, so they line up sample for sample. After a switch in either
    direction the old path stays on the output for every block that starts less than L samples after the
    switch, while the new path is fed the same input (a processed path refills its history, a dry delay
    its line); then the new path takes over with no repeated, dropped or shifted sample. Switching back
    before that happens keeps the path that is on the output and ends the transition.

    An enabled value other than 0 or 1 leaves the output as it was and the state untouched.
*/
class ZLatencySwitch
{
public:
    /** Starts settled in the given state: no transition pending. */
    void prepare (int enabledNow, unsigned latencySamples) noexcept
    {
        latency = latencySamples;
        previousEnabled = enabledNow;
        samplesSinceSwitch = latencySamples;
    }

    /** Runs one block of n samples. Both callables write the block's output; during a transition the
        second one run replaces what the first wrote.
    */
    template <typename ProcessedPath, typename DryPath>
    void process (int enabled, unsigned n, ProcessedPath&& runProcessed, DryPath&& runDry)
    {
        if (enabled == 1)
            step (0, n, runProcessed, runDry);
        else if (enabled == 0)
            step (1, n, runDry, runProcessed);
        else
            return;

        previousEnabled = enabled;
    }

    bool isInTransition() const noexcept { return samplesSinceSwitch < latency; }
    int getPreviousEnabled() const noexcept { return previousEnabled; }
    unsigned getSamplesSinceSwitch() const noexcept { return samplesSinceSwitch; }
    unsigned getLatency() const noexcept { return latency; }

private:
    template <typename NewPath, typename OldPath>
    void step (int switchedFrom, unsigned n, NewPath& runNew, OldPath& runOld)
    {
        // A switch back before the last one took over finds the output still on this path, which has run
        // all along: it stays on, settled. Only a path that was idle needs the whole latency to refill.
        if (previousEnabled == switchedFrom)
            samplesSinceSwitch = samplesSinceSwitch < latency ? latency : 0;

        runNew();

        if (samplesSinceSwitch < latency)
        {
            runOld();
            samplesSinceSwitch = std::min (samplesSinceSwitch + n, latency);
        }
    }

    unsigned latency = 0;
    int previousEnabled = 1;
    unsigned samplesSinceSwitch = 0;
};

} // namespace vesk
