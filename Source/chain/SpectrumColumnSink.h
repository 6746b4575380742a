#pragma once

/** What the processor calls after every 512-sample block of its chain: the wash window's column step.

    It runs on whichever thread runs the block loop (a rendering thread, or the message thread during an
    offline pass) and must neither block nor allocate.
*/
class SpectrumColumnSink
{
public:
    virtual ~SpectrumColumnSink() = default;

    /** Takes one column of the noise-reduction bay's display buffers. */
    virtual void pushSpectrumColumn() = 0;
};
