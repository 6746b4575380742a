#include "MediaExportSession.h"

#include "AudioChunkQueue.h"
#include "CompositionAudioRenderer.h"
#include "MediaFileWriter.h"
#include "MediaInput.h"
#include "PresentationTimeFiller.h"

namespace tavlin::media
{

namespace
{
constexpr int chunkFrames = 4096;

bool isLosslessCodec (AVCodecID id)
{
    const auto* descriptor = avcodec_descriptor_get (id);
    return descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_LOSSLESS) != 0;
}

/** The codec a file type is given when the sound has to be encoded. */
AVCodecID encodedCodecFor (const MediaFileTypeInfo& info, AVCodecID sourceCodec, int bits)
{
    const juce::String muxer (info.muxer);

    if (muxer == "wav")
        return bits > 16 ? AV_CODEC_ID_PCM_S24LE : AV_CODEC_ID_PCM_S16LE;

    if (muxer == "aiff")
        return bits > 16 ? AV_CODEC_ID_PCM_S24BE : AV_CODEC_ID_PCM_S16BE;

    if (muxer == "caf")
        return AV_CODEC_ID_ALAC;

    return sourceCodec == AV_CODEC_ID_ALAC ? AV_CODEC_ID_ALAC : AV_CODEC_ID_AAC;
}

/** Whether a file type takes a codec's packets unchanged. */
bool takesUnchanged (const MediaFileWriter& writer, AVCodecID codec)
{
    const juce::String muxer (writer.getTypeInfo().muxer);

    if (muxer == "wav")
        return codec == AV_CODEC_ID_PCM_S16LE || codec == AV_CODEC_ID_PCM_S24LE || codec == AV_CODEC_ID_PCM_S32LE
               || codec == AV_CODEC_ID_PCM_F32LE || codec == AV_CODEC_ID_PCM_U8;

    if (muxer == "aiff")
        return codec == AV_CODEC_ID_PCM_S16BE || codec == AV_CODEC_ID_PCM_S24BE || codec == AV_CODEC_ID_PCM_S32BE;

    if (muxer == "caf" && codec == AV_CODEC_ID_AAC)
        return false; // the CAF muxer cannot write AAC

    return writer.canHold (codec);
}

/** Copies one stream's packets from a source, shifted on the timeline and limited to a stretch. */
class PacketCopier
{
public:
    bool open (const MediaComposition::Track& track, MediaFileWriter& writer, juce::String& error)
    {
        input = MediaInput::openFile (track.sourceFile, error);

        if (input == nullptr)
            return false;

        source = input->getStream (track.sourceTrack.streamIndex);

        if (source == nullptr)
        {
            error = "The track to copy is missing from \"" + track.sourceFile.getFileName() + "\".";
            return false;
        }

        for (unsigned i = 0; i < input->getFormat()->nb_streams; ++i)
            input->getFormat()->streams[i]->discard = (int) i == source->index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

        output = writer.addCopiedStream (*source, track.rotationDegrees, error);
        rangeStart = track.getClockStart();
        rangeEnd = track.getClockEnd();
        shift = track.getClockShift();

        // The shift in the stream's own units, exactly where the times allow it.
        const auto inStream = [this] (MediaTime t) {
            return av_rescale_q (t.value, { 1, std::max (1, t.timescale) }, source->time_base);
        };
        offset =
            inStream (track.insertTime) - inStream (track.sourceRange.start) - inStream (track.sourceTrack.clockZero);
        packet.reset (av_packet_alloc());
        times = std::make_unique<PresentationTimeFiller> (*source->codecpar);
        return output != nullptr && packet != nullptr;
    }

    /** Writes packets up to a time on the output timeline (all of them with infinity). */
    bool writeUntil (double outputSeconds, MediaFileWriter& writer, juce::String& error)
    {
        for (;;)
        {
            if (!havePacket)
            {
                if (!times->pop (*packet))
                {
                    if (finished)
                        break;

                    if (av_read_frame (input->getFormat(), packet.get()) < 0)
                    {
                        finished = true;
                        times->finish();
                    }
                    else if (packet->stream_index == source->index)
                        times->push (*packet);
                    else
                        av_packet_unref (packet.get());

                    continue;
                }

                havePacket = true;
            }

            const auto ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
            const double at = ts == AV_NOPTS_VALUE ? 0.0 : ts * av_q2d (source->time_base);

            if (at + shift > outputSeconds)
                break;

            havePacket = false;
            const double presented = packet->pts == AV_NOPTS_VALUE ? at : packet->pts * av_q2d (source->time_base);

            if (presented < rangeStart - 1.0e-9 || presented >= rangeEnd - 1.0e-9)
            {
                av_packet_unref (packet.get());
                continue;
            }

            if (packet->pts != AV_NOPTS_VALUE)
                packet->pts += offset;

            if (packet->dts != AV_NOPTS_VALUE)
                packet->dts += offset;

            av_packet_rescale_ts (packet.get(), source->time_base, output->time_base);
            packet->stream_index = output->index;
            packet->pos = -1;
            const int status = writer.writePacket (*packet);
            av_packet_unref (packet.get());

            if (status < 0)
            {
                error = "The file could not be written (" + ffmpegErrorText (status) + ").";
                return false;
            }
        }

        return true;
    }

    double getProgressSeconds() const { return lastSeconds; }

private:
    std::unique_ptr<MediaInput> input;
    AVStream* source = nullptr;
    AVStream* output = nullptr;
    PacketPtr packet;
    std::unique_ptr<PresentationTimeFiller> times;
    bool havePacket = false, finished = false;
    double rangeStart = 0.0, rangeEnd = 0.0, shift = 0.0, lastSeconds = 0.0;
    int64_t offset = 0;
};
} // namespace

std::unique_ptr<MediaExportSession> MediaExportSession::create (const MediaComposition& composition,
                                                                const juce::String& preset)
{
    if (preset != presetAppleM4A && preset != presetAppleLosslessM4A && preset != presetPassthrough)
        return nullptr;

    if (!composition.hasTracksWithMediaType (MediaType::audio)
        && !composition.hasTracksWithMediaType (MediaType::video))
        return nullptr;

    if (preset != presetPassthrough && !composition.hasTracksWithMediaType (MediaType::audio))
        return nullptr;

    return std::unique_ptr<MediaExportSession> (new MediaExportSession (composition, preset));
}

std::unique_ptr<MediaExportSession> MediaExportSession::create (const MediaAsset& asset, const juce::String& preset)
{
    if (!asset.getResult().wasOk())
        return nullptr;

    return create (MediaComposition::fromAsset (asset), preset);
}

MediaExportSession::MediaExportSession (const MediaComposition& c, const juce::String& p) : composition (c), preset (p)
{
}

MediaExportSession::~MediaExportSession()
{
    cancelRequested = true;

    if (worker.joinable())
        worker.join();
}

juce::String MediaExportSession::getError() const
{
    std::lock_guard<std::mutex> lock (errorLock);
    return error;
}

void MediaExportSession::exportAsynchronously (std::function<void()> onDone)
{
    Status expected = Status::unknown;

    if (!status.compare_exchange_strong (expected, Status::waiting))
        return;

    completion = std::move (onDone);
    worker = std::thread ([this] { run(); });
}

void MediaExportSession::waitUntilFinished()
{
    if (worker.joinable() && worker.get_id() != std::this_thread::get_id())
        worker.join();
}

void MediaExportSession::run()
{
    status = Status::exporting;
    juce::String failure;
    const bool ok = exportAll (failure);

    {
        std::lock_guard<std::mutex> lock (errorLock);
        error = ok ? juce::String() : failure;
    }

    if (ok)
        progress = 1.0f;

    status = ok ? Status::completed : (cancelRequested ? Status::cancelled : Status::failed);

    if (completion != nullptr)
        completion();
}

bool MediaExportSession::exportAll (juce::String& failure)
{
    const bool audioOnlyPreset = preset != presetPassthrough;

    if (preset == presetAppleM4A && outputFileType != MediaFileType::appleM4A)
    {
        failure = "This preset writes M4A files only.";
        return false;
    }

    if (preset == presetAppleLosslessM4A && outputFileType != MediaFileType::appleM4A
        && outputFileType != MediaFileType::coreAudioFormat)
    {
        failure = "This preset writes M4A and CAF files only.";
        return false;
    }

    auto writer = MediaFileWriter::create (outputFile, outputFileType, failure);

    if (writer == nullptr)
        return false;

    const auto* videoTrack = composition.getFirstTrack (MediaType::video);
    const auto* audioTrack = composition.getFirstTrack (MediaType::audio);
    std::unique_ptr<PacketCopier> video;

    if (videoTrack != nullptr && !audioOnlyPreset && writer->getTypeInfo().holdsVideo)
    {
        video = std::make_unique<PacketCopier>();

        if (!video->open (*videoTrack, *writer, failure))
            return false;
    }

    std::unique_ptr<CompositionAudioRenderer> renderer;
    std::unique_ptr<PacketCopier> audioCopy;
    AudioStreamEncoder* encoder = nullptr;
    std::shared_ptr<AudioProcessingTap> tap;

    if (audioTrack != nullptr)
    {
        if (audioMix != nullptr)
            tap = audioMix->getTapForTrack (audioTrack->trackID);

        const auto sourceCodec = avcodec_descriptor_get_by_name (audioTrack->sourceTrack.codecName.toRawUTF8());
        const auto sourceID = sourceCodec != nullptr ? sourceCodec->id : AV_CODEC_ID_NONE;
        const bool whole = audioTrack->fromSourceStart && audioTrack->toSourceEnd;

        if (!audioOnlyPreset && tap == nullptr && whole && takesUnchanged (*writer, sourceID))
        {
            audioCopy = std::make_unique<PacketCopier>();

            if (!audioCopy->open (*audioTrack, *writer, failure))
                return false;
        }
        else
        {
            renderer = CompositionAudioRenderer::create (*audioTrack, failure);

            if (renderer == nullptr)
                return false;

            // 16-bit lossless sound stays 16-bit; everything else is kept in 24 bits.
            const bool sixteenBit = isLosslessCodec (sourceID) && audioTrack->sourceTrack.bitsPerSample <= 16;
            const int bits = sixteenBit ? 16 : 24;
            const auto codec = preset == presetAppleM4A ? AV_CODEC_ID_AAC
                               : preset == presetAppleLosslessM4A
                                   ? AV_CODEC_ID_ALAC
                                   : encodedCodecFor (writer->getTypeInfo(), sourceID, bits);
            encoder = writer->addAudioEncoder (codec, renderer->getSampleRate(), renderer->getNumChannels(),
                                               codec == AV_CODEC_ID_ALAC ? 24 : bits, failure);

            if (encoder == nullptr)
                return false;

            if (tap != nullptr)
                renderer->setTailFrames (tapLatency);
        }
    }

    if (video == nullptr && renderer == nullptr && audioCopy == nullptr)
    {
        failure = "There is nothing that this file type can hold.";
        return false;
    }

    if (!writer->begin (failure))
        return false;

    auto sink = [&writer] (AVPacket& packet) { return writer->writePacket (packet); };
    const auto totalSeconds = std::max (1.0e-6, composition.getDuration().seconds());

    if (renderer != nullptr)
    {
        const int channels = renderer->getNumChannels();

        if (startAtSound && !renderer->seek (renderer->getSoundStart()))
        {
            failure = renderer->getLastError();
            return false;
        }

        soundStart = renderer->getPosition();
        const auto first = renderer->getPosition();
        const auto total = std::max<int64_t> (1, renderer->getRenderLength() - first);
        std::atomic<bool> ok { true };

        struct Unprepare
        {
            AudioProcessingTap* tap;
            ~Unprepare()
            {
                if (tap != nullptr)
                    tap->unprepare();
            }
        };

        if (tap != nullptr)
            tap->prepare (chunkFrames, AudioStreamFormat::planarFloat (renderer->getSampleRate(), channels));

        const Unprepare unprepare { tap.get() };

        // The encoder (and the copied picture, which shares the file with it) runs on a thread of its own,
        // a few chunks behind the rendering, so encoding and processing overlap.
        AudioChunkQueue queue (channels, chunkFrames, 8);
        juce::String writeFailure;
        std::thread writing (
            [&]
            {
                std::vector<const float*> from ((size_t) channels);

                while (auto* c = queue.next())
                {
                    if (ok)
                    {
                        for (int ch = 0; ch < channels; ++ch)
                            from[(size_t) ch] = c->audio.getReadPointer (ch) + c->start;

                        ok = encoder->write (from.data(), c->frames, sink, writeFailure);

                        if (ok && video != nullptr)
                            ok = video->writeUntil (c->endSeconds, *writer, writeFailure);

                        if (!ok)
                            queue.close();
                    }

                    queue.release (c);
                }
            });

        struct JoinWriting
        {
            AudioChunkQueue& queue;
            std::thread& thread;
            ~JoinWriting()
            {
                queue.close();
                thread.join();
            }
        };

        {
            const JoinWriting join { queue, writing };
            int64_t toDrop = tap != nullptr ? tapLatency : 0;

            while (auto* c = queue.acquire())
            {
                if (cancelRequested)
                {
                    failure = "The export was cancelled.";
                    return false;
                }

                const auto frames = renderer->render (c->audio.getArrayOfWritePointers(), chunkFrames, tap.get());

                if (frames <= 0)
                {
                    queue.release (c);
                    break;
                }

                // The tap's delay comes off before the encoder sees anything.
                const auto dropped = std::min (toDrop, frames);
                toDrop -= dropped;
                c->start = (int) dropped;
                c->frames = (int) (frames - dropped);
                c->endSeconds = (double) renderer->getPosition() / renderer->getSampleRate();
                queue.submit (c);
                progress = 0.99f * (float) (renderer->getPosition() - first) / (float) total;
            }
        }

        if (!ok)
        {
            failure = writeFailure;
            return false;
        }

        if (!encoder->finish (sink, failure))
            return false;
    }

    // Copied streams: in slices of a second, so progress moves and cancelling is heard.
    for (double t = 0.0;; t += 1.0)
    {
        if (cancelRequested)
        {
            failure = "The export was cancelled.";
            return false;
        }

        const bool last = t > totalSeconds + 1.0;
        const double until = last ? std::numeric_limits<double>::infinity() : t;

        if (audioCopy != nullptr && !audioCopy->writeUntil (until, *writer, failure))
            return false;

        if (video != nullptr && !video->writeUntil (until, *writer, failure))
            return false;

        if (renderer == nullptr)
            progress = 0.99f * (float) std::min (1.0, t / totalSeconds);

        if (last)
            break;
    }

    return writer->finish (failure);
}

} // namespace tavlin::media
