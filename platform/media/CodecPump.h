#pragma once

#include "FFmpegHandles.h"

#include <functional>

namespace tavlin::media
{

/**
    The send/receive loop between a demuxer and a decoder: reads the packets of one stream, sends them to the
    decoder while it asks for more, and sends the flush at the end of the input. Packets of other streams are
    read and dropped. Internal to the media layer.

    The decoder is passed to each call, so it can be replaced (after a seek) without touching the pump.
*/
class CodecPump
{
public:
    CodecPump (AVFormatContext& format, int streamIndex);

    /** False when there was no memory for the packet; such a pump reads nothing. */
    bool isValid() const { return packet != nullptr; }

    /** Called with each packet of the stream just before it is sent. */
    std::function<void (const AVPacket&)> onPacket;

    /** Called with FFmpeg's status when the decoder refuses a packet; the packet is skipped. */
    std::function<void (int)> onRefused;

    /** After this many packets read, the input counts as ended (without a flush); 0 is no limit. */
    void setReadLimit (int packets) { readLimit = packets; }

    enum class Fed
    {
        packet, // a packet of the stream was sent
        otherStream, // a packet of another stream was read and dropped
        end // the input has ended: the flush has been sent, or nothing more may be read
    };

    /** Reads one packet and sends it when it belongs to the stream; at the end of the input sends the flush. */
    Fed feed (AVCodecContext& codec);

    /** The decoder's next frame, feeding it while it asks for more: 0 with a frame in into, AVERROR_EOF when
        the decoder and the input are done, or the decoder's error (decoding can go on after one).
    */
    int receiveFrame (AVCodecContext& codec, AVFrame& into);

    /** The demuxer was moved: reading goes on from its new position. */
    void restart() { endOfInput = false; }

private:
    bool mayRead() const { return !endOfInput && (readLimit <= 0 || packetsRead < readLimit); }

    AVFormatContext& format;
    const int streamIndex;
    PacketPtr packet;
    bool endOfInput = false;
    int readLimit = 0;
    int packetsRead = 0;

    JUCE_DECLARE_NON_COPYABLE (CodecPump)
};

} // namespace tavlin::media
