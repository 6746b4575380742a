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
        const auto block = begin (enabled);

        if (!block.runs)
            return;

        if (block.processedFirst)
            runProcessed();
        else
            runDry();

        if (block.both)
        {
            if (block.processedFirst)
                runDry();
            else
                runProcessed();
        }

        end (block, n);
    }

    /** One block's plan: which path runs first (its output is replaced when both run). */
    struct Block
    {
        bool runs = false, processedFirst = true, both = false;
        int enabled = 1;
    };

    /** process() split for callers that run the paths in steps of their own: begin settles the plan
        for the block, the caller runs the paths as it says, end moves the state on by n samples.
    */
    Block begin (int enabled) noexcept
    {
        Block block;

        if (enabled != 0 && enabled != 1)
            return block;

        // A switch back before the last one took over finds the output still on this path, which has run
        // all along: it stays on, settled. Only a path that was idle needs the whole latency to refill.
        const auto switchedFrom = enabled == 1 ? 0 : 1;

        if (previousEnabled == switchedFrom)
            samplesSinceSwitch = samplesSinceSwitch < latency ? latency : 0;

        block.runs = true;
        block.enabled = enabled;
        block.processedFirst = enabled == 1;
        block.both = samplesSinceSwitch < latency;
        return block;
    }

    void end (const Block& block, unsigned n) noexcept
    {
        if (!block.runs)
            return;

        if (block.both)
            samplesSinceSwitch = std::min (samplesSinceSwitch + n, latency);

        previousEnabled = block.enabled;
    }

    bool isInTransition() const noexcept { return samplesSinceSwitch < latency; }
    int getPreviousEnabled() const noexcept { return previousEnabled; }
    unsigned getSamplesSinceSwitch() const noexcept { return samplesSinceSwitch; }
    unsigned getLatency() const noexcept { return latency; }

private:
    unsigned latency = 0;
    int previousEnabled = 1;
    unsigned samplesSinceSwitch = 0;
};

} // namespace vesk
