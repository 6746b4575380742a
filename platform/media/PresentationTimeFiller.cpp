#include "PresentationTimeFiller.h"

namespace tavlin::media
{

PresentationTimeFiller::PresentationTimeFiller (const AVCodecParameters& parameters)
{
    // The rule holds for the MPEG video codecs, whose pictures are reordered by at most one anchor.
    const auto id = parameters.codec_id;

    if (id != AV_CODEC_ID_MPEG1VIDEO && id != AV_CODEC_ID_MPEG2VIDEO && id != AV_CODEC_ID_MPEG4)
        return;

    parser.reset (av_parser_init ((int) parameters.codec_id));
    context.reset (avcodec_alloc_context3 (nullptr));

    if (parser == nullptr || context == nullptr || avcodec_parameters_to_context (context.get(), &parameters) < 0)
        parser.reset();
    else
        parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
}

int PresentationTimeFiller::pictureType (AVPacket& packet)
{
    if (parser == nullptr)
        return AV_PICTURE_TYPE_NONE;

    uint8_t* out = nullptr;
    int outSize = 0;
    parser->pict_type = AV_PICTURE_TYPE_NONE;
    av_parser_parse2 (parser.get(), context.get(), &out, &outSize, packet.data, packet.size, AV_NOPTS_VALUE,
                      AV_NOPTS_VALUE, 0);
    return parser->pict_type;
}

void PresentationTimeFiller::push (AVPacket& packet)
{
    PacketPtr taken (av_packet_alloc());

    if (taken == nullptr)
    {
        av_packet_unref (&packet);
        return;
    }

    av_packet_move_ref (taken.get(), &packet);
    auto* p = taken.get();
    const bool needsTime = p->pts == AV_NOPTS_VALUE && p->dts != AV_NOPTS_VALUE;

    if (needsTime || waiting != nullptr)
    {
        const int type = pictureType (*p);
        const bool bPicture = type == AV_PICTURE_TYPE_B;

        if (waiting != nullptr && !bPicture && p->dts != AV_NOPTS_VALUE)
        {
            waiting->pts = p->dts;
            waiting = nullptr;
        }

        if (needsTime && bPicture)
            p->pts = p->dts;
        else if (needsTime && type != AV_PICTURE_TYPE_NONE)
            waiting = p;
    }

    if (p->dts != AV_NOPTS_VALUE)
        lastEnd = p->dts + std::max<int64_t> (0, p->duration);

    held.push_back (std::move (taken));
}

void PresentationTimeFiller::finish()
{
    if (waiting != nullptr && lastEnd != AV_NOPTS_VALUE)
        waiting->pts = std::max (lastEnd, waiting->dts);

    waiting = nullptr;
}

bool PresentationTimeFiller::pop (AVPacket& into)
{
    if (held.empty() || held.front().get() == waiting)
        return false;

    av_packet_move_ref (&into, held.front().get());
    held.pop_front();
    return true;
}

} // namespace tavlin::media
