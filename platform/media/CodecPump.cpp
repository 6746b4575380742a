#include "CodecPump.h"

namespace tavlin::media
{

CodecPump::CodecPump (AVFormatContext& formatToRead, int index)
    : format (formatToRead), streamIndex (index), packet (av_packet_alloc())
{
}

CodecPump::Fed CodecPump::feed (AVCodecContext& codec)
{
    if (!mayRead() || packet == nullptr)
        return Fed::end;

    ++packetsRead;

    if (av_read_frame (&format, packet.get()) < 0)
    {
        endOfInput = true;
        avcodec_send_packet (&codec, nullptr); // drain what the decoder holds
        return Fed::end;
    }

    if (packet->stream_index != streamIndex)
    {
        av_packet_unref (packet.get());
        return Fed::otherStream;
    }

    if (onPacket != nullptr)
        onPacket (*packet);

    const int status = avcodec_send_packet (&codec, packet.get());
    av_packet_unref (packet.get());

    if (status < 0 && status != AVERROR (EAGAIN) && onRefused != nullptr)
        onRefused (status);

    return Fed::packet;
}

int CodecPump::receiveFrame (AVCodecContext& codec, AVFrame& into)
{
    for (;;)
    {
        const int status = avcodec_receive_frame (&codec, &into);

        if (status != AVERROR (EAGAIN))
            return status;

        if (!mayRead())
            return AVERROR_EOF;

        feed (codec);
    }
}

} // namespace tavlin::media
