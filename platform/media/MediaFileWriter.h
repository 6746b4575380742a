#pragma once

#include "AudioStreamEncoder.h"
#include "MediaFileType.h"

#include "desktop/PartialFile.h"

#include <memory>
#include <vector>

namespace tavlin::media
{

/**
    Writes one media file of a given type. Everything goes into a hidden file beside the destination (see
    desktop::PartialFile), which replaces the destination only when the file is complete; a writer destroyed
    before finish() removes it, so a failure never leaves a partial file behind. Internal to the media layer.
*/
class MediaFileWriter
{
public:
    ~MediaFileWriter();

    /** Null with a text when the type has no muxer or the destination's folder cannot be written. */
    static std::unique_ptr<MediaFileWriter> create (const juce::File& destination, MediaFileType type,
                                                    juce::String& error);

    const MediaFileTypeInfo& getTypeInfo() const { return info; }

    /** Whether the file type can hold a stream of this codec. */
    bool canHold (AVCodecID codecID) const;

    /** Adds a stream whose packets are copied from a source stream; null with a text when refused. */
    AVStream* addCopiedStream (const AVStream& source, int rotationDegrees, juce::String& error);

    /** Adds a stream encoded from float sound; null with a text when refused. */
    AudioStreamEncoder* addAudioEncoder (AVCodecID codecID, double sampleRate, int channels, int bitsPerSample,
                                         juce::String& error);

    /** Opens the file and writes its header. */
    bool begin (juce::String& error);

    /** Writes a packet whose stream index and timestamps are already those of the output stream. */
    int writePacket (AVPacket& packet);

    /** Completes the file and moves it into place. */
    bool finish (juce::String& error);

    AVFormatContext* getFormat() const { return format.get(); }

private:
    MediaFileWriter() = default;
    void discard();

    /** Per stream: the first packet's timestamp and the priming its side data says to skip, in samples. */
    struct StreamStart
    {
        int64_t firstTimestamp = AV_NOPTS_VALUE;
        int64_t primingSamples = 0;
    };

    bool hideLatePriming (juce::String& error);

    juce::File destination;
    std::vector<StreamStart> starts;
    std::unique_ptr<desktop::PartialFile> partial;
    MediaFileTypeInfo info {};
    FormatContextPtr format;
    std::unique_ptr<AudioStreamEncoder> encoder;
    bool opened = false, finished = false;

    JUCE_DECLARE_NON_COPYABLE (MediaFileWriter)
};

} // namespace tavlin::media
