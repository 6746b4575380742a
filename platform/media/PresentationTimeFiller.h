#pragma once

#include "FFmpegHandles.h"

#include <deque>

namespace tavlin::media
{

/**
    Gives video packets that carry only a decoding time the presentation time a decoder shows them at.
    Internal to the media layer.

    MPEG video in program and transport streams leaves the presentation time out when several pictures share
    one PES packet. A B picture is shown as it is decoded; any other picture when the next picture that is
    not a B picture is decoded, or one picture's duration after the last decoding time at the end. Packets
    come out in the order they went in, held back only while a presentation time is still unknown; streams
    whose packets all carry their times, and other codecs, pass straight through.
*/
class PresentationTimeFiller
{
public:
    explicit PresentationTimeFiller (const AVCodecParameters& parameters);

    /** Takes over a packet's reference. */
    void push (AVPacket& packet);

    /** The end of the stream: every packet held back gets its time. */
    void finish();

    /** Moves the next packet that is ready into an empty packet; false when none is. */
    bool pop (AVPacket& into);

private:
    int pictureType (AVPacket& packet);

    ParserPtr parser;
    CodecContextPtr context;
    std::deque<PacketPtr> held;
    AVPacket* waiting = nullptr; // an anchor picture whose presentation time comes with the next one
    int64_t lastEnd = AV_NOPTS_VALUE;
};

} // namespace tavlin::media
