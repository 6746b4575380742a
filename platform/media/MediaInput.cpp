#include "MediaInput.h"

#include "desktop/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavlin::media
{

namespace
{
constexpr int ioBufferSize = 64 * 1024;

int refuseNestedOpen (AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
{
    return AVERROR (EPERM);
}

bool isStillPicture (const AVStream* stream)
{
    return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0
           || (stream->disposition & AV_DISPOSITION_STILL_IMAGE) != 0;
}

juce::Result checkStreamHeaders (const AVFormatContext* format)
{
    for (unsigned i = 0; i < format->nb_streams; ++i)
    {
        const auto* par = format->streams[i]->codecpar;

        if (par->codec_type == AVMEDIA_TYPE_AUDIO)
        {
            if (par->ch_layout.nb_channels > MediaLimits::maxChannels)
                return juce::Result::fail ("The file claims " + juce::String (par->ch_layout.nb_channels)
                                           + " audio channels, more than can be handled.");

            if (par->sample_rate != 0
                && (par->sample_rate < MediaLimits::minSampleRate || par->sample_rate > MediaLimits::maxSampleRate))
                return juce::Result::fail ("The file claims a sample rate of " + juce::String (par->sample_rate)
                                           + " Hz, which cannot be handled.");
        }
        else if (par->codec_type == AVMEDIA_TYPE_VIDEO)
        {
            if (par->width > MediaLimits::maxVideoDimension || par->height > MediaLimits::maxVideoDimension
                || par->width < 0 || par->height < 0)
                return juce::Result::fail ("The file claims a picture size that cannot be handled.");
        }
    }

    return juce::Result::ok();
}
} // namespace

MediaInput::~MediaInput()
{
    // The demuxer reads through the IO context, so it goes first.
    format.reset();
    io.reset();
}

juce::Result MediaInput::checkRegularFile (const juce::File& file)
{
    // Its kind first, without opening it: opening a device may act on it.
    if (auto regular = desktop::RegularFile::check (file); regular.failed())
        return regular;

    // O_NONBLOCK: should it have been swapped for a named pipe since, opening must still not wait for a writer.
    const int fd = ::open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);

    if (fd < 0)
        return juce::Result::fail ("The file \"" + file.getFileName()
                                   + "\" cannot be opened for reading: " + juce::String (strerror (errno)) + ".");

    struct stat info = {};
    const bool statOk = ::fstat (fd, &info) == 0;
    ::close (fd);

    if (!statOk || !S_ISREG (info.st_mode))
        return juce::Result::fail ("\"" + file.getFileName() + "\" is not a regular file.");

    if (info.st_size == 0)
        return juce::Result::fail ("The file \"" + file.getFileName() + "\" is empty.");

    return juce::Result::ok();
}

std::unique_ptr<MediaInput> MediaInput::openFile (const juce::File& file, juce::String& error)
{
    auto check = checkRegularFile (file);

    if (check.failed())
    {
        error = check.getErrorMessage();
        return nullptr;
    }

    auto stream = std::make_unique<juce::FileInputStream> (file);

    if (stream->failedToOpen())
    {
        error = "The file \"" + file.getFileName() + "\" cannot be opened for reading.";
        return nullptr;
    }

    auto input = openStream (std::move (stream), error);

    if (input == nullptr)
        error = "\"" + file.getFileName() + "\": " + error;

    return input;
}

std::unique_ptr<MediaInput> MediaInput::openStream (std::unique_ptr<juce::InputStream> stream, juce::String& error)
{
    if (stream == nullptr)
    {
        error = "No data to read.";
        return nullptr;
    }

    // FFmpeg's own console messages are not for our users; failures come back as texts.
    static const bool quiet = []
    {
        av_log_set_level (AV_LOG_FATAL);
        return true;
    }();
    juce::ignoreUnused (quiet);

    std::unique_ptr<MediaInput> input (new MediaInput());
    auto result = input->open (std::move (stream));

    if (result.failed())
    {
        error = result.getErrorMessage();
        return nullptr;
    }

    return input;
}

juce::Result MediaInput::open (std::unique_ptr<juce::InputStream> stream)
{
    input = std::move (stream);

    if (input->getTotalLength() == 0)
        return juce::Result::fail ("The file is empty.");

    auto* buffer = static_cast<uint8_t*> (av_malloc (ioBufferSize));

    if (buffer == nullptr)
        return juce::Result::fail ("Out of memory.");

    io.reset (
        avio_alloc_context (buffer, ioBufferSize, 0, this, &MediaInput::readPacket, nullptr, &MediaInput::seekStream));

    if (io == nullptr)
    {
        av_free (buffer);
        return juce::Result::fail ("Out of memory.");
    }

    AVFormatContext* context = avformat_alloc_context();

    if (context == nullptr)
        return juce::Result::fail ("Out of memory.");

    context->pb = io.get();
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    context->io_open = &refuseNestedOpen;
    context->probesize = 5 * 1024 * 1024;
    context->max_analyze_duration = 5 * AV_TIME_BASE;

    AVDictionary* options = nullptr;
    av_dict_set (&options, "protocol_whitelist", "", 0);
    int status = avformat_open_input (&context, nullptr, nullptr, &options);
    av_dict_free (&options);

    // On failure avformat_open_input has freed the context.
    if (status < 0)
        return juce::Result::fail ("The file is not a media file that can be read (" + ffmpegErrorText (status) + ").");

    format.reset (context);

    if (format->iformat != nullptr && juce::String (format->iformat->name) == "tty")
        return juce::Result::fail ("The file is text, not media.");

    auto headers = checkStreamHeaders (format.get());

    if (headers.failed())
        return headers;

    status = avformat_find_stream_info (format.get(), nullptr);

    if (status < 0)
        return juce::Result::fail ("The file's streams cannot be read (" + ffmpegErrorText (status) + ").");

    return checkStreamHeaders (format.get());
}

AVStream* MediaInput::getStream (int index) const
{
    if (format == nullptr || index < 0 || index >= (int) format->nb_streams)
        return nullptr;

    return format->streams[index];
}

int MediaInput::findFirstStream (AVMediaType type) const
{
    for (unsigned i = 0; i < format->nb_streams; ++i)
    {
        const auto* stream = format->streams[i];

        if (stream->codecpar->codec_type == type && !(type == AVMEDIA_TYPE_VIDEO && isStillPicture (stream)))
            return (int) i;
    }

    return -1;
}

double MediaInput::getDurationSeconds() const
{
    if (format == nullptr || format->duration == AV_NOPTS_VALUE || format->duration <= 0)
        return 0.0;

    return (double) format->duration / AV_TIME_BASE;
}

bool MediaInput::isDurationEstimated() const
{
    return format != nullptr && format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
}

int MediaInput::readPacket (void* opaque, uint8_t* buffer, int size)
{
    auto& stream = *static_cast<MediaInput*> (opaque)->input;
    const int bytes = stream.read (buffer, size);
    return bytes > 0 ? bytes : AVERROR_EOF;
}

int64_t MediaInput::seekStream (void* opaque, int64_t offset, int whence)
{
    auto& stream = *static_cast<MediaInput*> (opaque)->input;
    const auto length = stream.getTotalLength();

    switch (whence & ~AVSEEK_FORCE)
    {
        case AVSEEK_SIZE:
            return length >= 0 ? length : AVERROR (ENOSYS);
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += stream.getPosition();
            break;
        case SEEK_END:
            if (length < 0)
                return AVERROR (ENOSYS);
            offset += length;
            break;
        default:
            return AVERROR (EINVAL);
    }

    if (offset < 0 || !stream.setPosition (offset))
        return AVERROR (EIO);

    return stream.getPosition();
}

} // namespace tavlin::media
