// Movies as people have them, saved through the player with the processor bypassed: streams that start
// late, edit lists, signalled encoder priming, odd frame rates, variable frame rate, every common sample rate
// and sound codec. Each source flashes one white picture and starts a chirp at the same moment; the copy
// must keep the flash and the chirp in the relation they have in the source, measured on decoded output,
// with every video packet copied unchanged and the sound exactly as long as the source's.

#include "FakePlayerHost.h"
#include "MediaContainerComponent.h"
#include "ProcessingAVPlayer.h"

#include "../platform/MediaMeasure.h"

#include <gtest/gtest.h>

#include <iostream>

using player_test::FakePlayerHost;
using player_test::FakeSession;
using player_test::pumpUntil;
using tavlin::test::ScratchFolder;

namespace
{
struct TimelineSource
{
    const char* name; // with the file's extension
    const char* frameRate;
    int sampleRate;
    const char* layout;
    const char* codecs; // everything between the inputs and the output file
    double startsAt = 0.0; // seconds on the file's own clock where every stream starts, at least
};

// One row per kind of file; together they cover program and transport streams starting at 1.4 s,
// Matroska, edit lists (a picture and a sound that start late), signalled AAC priming, 29.97, 23.976 and
// variable frame rates, 32 to 96 kHz, mono and stereo, AAC, MP3, AC-3 and PCM.
const TimelineSource sources[] = {
    { "program-stream.mpg", "25", 44100, "stereo", "-c:v mpeg2video -q:v 4 -c:a libmp3lame -output_ts_offset 1.4",
      1.4 },
    { "transport-stream.ts", "30000/1001", 48000, "stereo", "-c:v mpeg2video -q:v 4 -c:a ac3", 1.4 },
    { "matroska.mkv", "24000/1001", 96000, "mono", "-c:v libx264 -preset ultrafast -c:a pcm_s16le" },
    { "edit-list.mov", "25", 32000, "mono", "-vf setpts=PTS+0.5/TB -c:v mpeg4 -q:v 3 -c:a aac" },
    { "primed-aac.mp4", "25", 44100, "stereo", "-c:v libx264 -preset ultrafast -c:a aac" },
    { "late-sound.mov", "25", 48000, "stereo", "-af asetpts=PTS+0.3/TB -c:v mpeg4 -q:v 3 -c:a pcm_s16le" },
    { "variable-rate.mp4", "25", 48000, "stereo",
      "-vf select=not(eq(mod(n\\,7)\\,3)) -fps_mode vfr -c:v libx264 -preset ultrafast -c:a libmp3lame" },
};

void PrintTo (const TimelineSource& source, std::ostream* os)
{
    *os << source.name;
}

bool makeSource (const TimelineSource& source, const juce::File& file)
{
    const juce::String duration ("2.4");
    const auto video = "color=c=black:s=160x120:r=" + juce::String (source.frameRate) + ":d=" + duration
                       + ",drawbox=c=white:t=fill:enable=between(t\\,0.99\\,1.03)";
    const auto audio = juce::String ("aevalsrc=if(between(t\\,1\\,1.1)\\,0.5*sin(2*PI*(1000*(t-1)+10000*(t-1)*(t-1)))"
                                     "\\,0):s=")
                       + juce::String (source.sampleRate) + ":c=" + source.layout + ":d=" + duration;

    return tavlin::test::runFfmpeg ("-f lavfi -i " + video + " -f lavfi -i " + audio + " " + source.codecs + " "
                                    + file.getFullPathName().quoted());
}

/** The chirp's start in a decoded file, in seconds on its clock: first found coarsely in the source, then
    in a copy by correlation with the source's chirp.
*/
struct ChirpFinder
{
    explicit ChirpFinder (const tavlin::test::DecodedTimeline& source) : reference (source)
    {
        onset = tavlin::test::firstSampleAbove (source.sound, 0.1f);
    }

    double inSource() const { return reference.timeOfSample ((double) onset); }

    double inCopy (const tavlin::test::DecodedTimeline& copy) const
    {
        const int lead = 256;
        const int length = (int) (0.05 * reference.sampleRate);
        const auto guess = tavlin::test::firstSampleAbove (copy.sound, 0.1f);
        const auto at =
            tavlin::test::findStretch (copy.sound, reference.sound, onset - lead, length, guess - lead, 400);
        return at < 0 ? -1.0 : copy.timeOfSample ((double) (at + lead));
    }

    const tavlin::test::DecodedTimeline& reference;
    int64_t onset = -1;
};

class SourceTimelinesTest : public ::testing::TestWithParam<TimelineSource>
{
protected:
    void SetUp() override { juce::MessageManager::getInstance(); }

    /** Opens a file in the player, waits for the extraction and bypasses the processor. */
    void open (MediaContainerComponent& view, const juce::File& file)
    {
        ASSERT_TRUE (view.loadMedia (file.getFullPathName(), nullptr, true));
        ASSERT_TRUE (pumpUntil ([&] { return host.analyzed.size() > 0 && host.isIdle(); }));
        host.processor.setParameter (TavAudioProcessor::bypassParameter, 1.0f);
    }

    ScratchFolder scratch;
    FakePlayerHost host { scratch.file ("private") };
};

TEST_P (SourceTimelinesTest, MovieCopiesKeepPictureAndSoundAsInTheSource)
{
    const auto& source = GetParam();
    const auto file = scratch.file (source.name);
    ASSERT_TRUE (makeSource (source, file));

    // The streams really start where the row says: a fixture that lost its late start would prove nothing.
    {
        juce::String error;
        std::vector<double> starts;
        ASSERT_TRUE (tavlin::test::streamStartTimes (file, starts, error)) << error;

        for (size_t i = 0; i < starts.size(); ++i)
        {
            ASSERT_FALSE (std::isnan (starts[i])) << "stream " << i << " has no start time";
            EXPECT_GE (starts[i], source.startsAt - 0.05) << "stream " << i << " starts too early";
        }
    }

    const auto original = tavlin::test::decodeTimeline (file);
    const auto originalPackets = tavlin::test::packetsOf (file);
    ASSERT_GT (original.frameTimes.size(), 20u);
    ASSERT_GE (original.flashTime, 0.0) << "the source shows no flash";
    ASSERT_EQ (original.sampleRate, source.sampleRate);
    const ChirpFinder chirp (original);
    ASSERT_GT (chirp.onset, 0) << "the source plays no chirp";
    const double relation = chirp.inSource() - original.flashTime;

    FakeSession session (host);

    MediaContainerComponent view (session, host.processor, host);
    open (view, file);
    auto* player = &session.getPlayer();
    ASSERT_NE (player, nullptr);

    for (const auto* extension : { ".mov", ".mp4", ".m4v" })
    {
        SCOPED_TRACE (extension);
        const int format = juce::String (".mov.mp4.m4v").indexOf (extension) / 4;
        const auto out = scratch.file (juce::String ("copy") + extension);
        ASSERT_TRUE (player->exportMedia (out, format, 9).wasOk()) << host.lastExportError();

        const auto copy = tavlin::test::decodeTimeline (out);
        ASSERT_EQ (copy.frameTimes.size(), original.frameTimes.size()) << "every picture is kept";

        for (size_t i = 0; i < copy.frameTimes.size(); ++i)
            ASSERT_NEAR (copy.frameTimes[i] - copy.frameTimes[0], original.frameTimes[i] - original.frameTimes[0],
                         1.0e-4)
                << "picture " << i;

        const auto packets = tavlin::test::packetsOf (out);
        ASSERT_EQ (packets.size(), originalPackets.size());

        for (size_t i = 0; i < packets.size(); ++i)
            ASSERT_EQ (packets[i].first, originalPackets[i].first) << "video packet " << i << " was changed";

        // The copy's sound is AAC, yet the chirp keeps its place against the flash to the sample at the
        // source's rate (the stream start times round to whole samples), well within a millisecond.
        ASSERT_GE (copy.flashTime, 0.0);
        const double copied = chirp.inCopy (copy) - copy.flashTime;
        EXPECT_NEAR (copied, relation, 1.0 / original.sampleRate + 1.0e-9)
            << "the chirp moved against the flash by " << (copied - relation) * original.sampleRate << " samples";
        EXPECT_EQ (copy.sampleRate, original.sampleRate);

        // The sound starts and ends where it did against the picture, and it is exactly as long as the
        // source's, also where it starts after the picture (no silence is put before it).
        const auto againstPicture = [] (const tavlin::test::DecodedTimeline& t, double sample)
        { return t.timeOfSample (sample) - t.frameTimes[0]; };
        EXPECT_NEAR (againstPicture (copy, 0.0), againstPicture (original, 0.0), 1.0 / original.sampleRate + 1.0e-9)
            << "the sound's start moved against the picture";
        EXPECT_NEAR (againstPicture (copy, (double) copy.sound.size()),
                     againstPicture (original, (double) original.sound.size()), 1.0 / original.sampleRate + 1.0e-9);
        EXPECT_EQ (copy.sound.size(), original.sound.size()) << "the sound keeps the source's length";
        std::cout << source.name << " as " << extension << ": " << copy.frameTimes.size() << " of "
                  << original.frameTimes.size() << " pictures, sound " << copy.sound.size() << " of "
                  << original.sound.size() << " samples, chirp against flash off by "
                  << (copied - relation) * original.sampleRate << " samples, sound start off by "
                  << (againstPicture (copy, 0.0) - againstPicture (original, 0.0)) * original.sampleRate << " samples"
                  << std::endl;
    }

    view.removeMedia();
}

INSTANTIATE_TEST_SUITE_P (Sources, SourceTimelinesTest, ::testing::ValuesIn (sources),
                          [] (const auto& info)
                          {
                              return juce::String (info.param.name)
                                  .upToFirstOccurrenceOf (".", false, false)
                                  .replaceCharacter ('-', '_')
                                  .toStdString();
                          });

/** The sources whose sound starts late, sits behind an edit or hides its encoder's priming. */
std::vector<TimelineSource> soundTimelineSources()
{
    std::vector<TimelineSource> chosen;

    for (const auto& source : sources)
        for (const auto* name : { "program-stream.mpg", "edit-list.mov", "primed-aac.mp4", "late-sound.mov" })
            if (juce::String (source.name) == name)
                chosen.push_back (source);

    return chosen;
}

class AudioCopiesTest : public SourceTimelinesTest
{
};

TEST_P (AudioCopiesTest, AudioOnlyCopiesHoldTheSourcesSoundInPlace)
{
    const auto& source = GetParam();
    const auto file = scratch.file (source.name);
    ASSERT_TRUE (makeSource (source, file));

    const auto original = tavlin::test::decodeTimeline (file);
    ASSERT_EQ (original.sampleRate, source.sampleRate);
    const ChirpFinder chirp (original);
    ASSERT_GT (chirp.onset, 0) << "the source plays no chirp";

    FakeSession session (host);

    MediaContainerComponent view (session, host.processor, host);
    open (view, file);
    auto* player = &session.getPlayer();
    ASSERT_NE (player, nullptr);

    struct Route
    {
        int format;
        const char* extension;
        bool lossless;
    };

    for (const auto& route : { Route { 3, ".m4a", false }, Route { 4, ".caf", true }, Route { 5, ".wav", true },
                               Route { 6, ".aif", true }, Route { 7, ".flac", true }, Route { 8, ".mp3", false } })
    {
        SCOPED_TRACE (route.extension);
        const auto out = scratch.file (juce::String ("copy") + route.extension);
        ASSERT_TRUE (player->exportMedia (out, route.format, 9).wasOk()) << host.lastExportError();
        ASSERT_TRUE (ProcessingAVPlayer::waitForAudioWriters (60000));

        const auto copy = tavlin::test::decodeTimeline (out);
        ASSERT_EQ (copy.sampleRate, original.sampleRate);
        EXPECT_EQ (copy.sound.size(), original.sound.size()) << "the sound keeps the source's length";

        // Sample for sample against the decoded source: the chirp lies where it lay in the source's sound.
        const auto at = chirp.inCopy (copy);
        ASSERT_GE (at, 0.0) << "the chirp is missing";
        const double offset = (at - copy.audioStart) - (chirp.inSource() - original.audioStart);
        EXPECT_NEAR (offset, 0.0, route.lossless ? 1.0 / original.sampleRate + 1.0e-9 : 1.0e-3)
            << "the sound moved by " << offset * original.sampleRate << " samples";

        std::cout << source.name << " as " << route.extension << ": sound " << copy.sound.size() << " of "
                  << original.sound.size() << " samples, chirp off by " << offset * original.sampleRate << " samples ("
                  << offset * 1000.0 << " ms)" << std::endl;

        if (route.lossless)
        {
            // Lossless copies hold the source's samples themselves (16-bit rounding at most).
            double worst = 0.0;

            for (size_t i = 0; i < std::min (copy.sound.size(), original.sound.size()); ++i)
                worst = std::max (worst, (double) std::abs (copy.sound[i] - original.sound[i]));

            EXPECT_LT (worst, 1.0e-4) << "the copy's samples differ from the source's";
        }
    }

    view.removeMedia();
}

INSTANTIATE_TEST_SUITE_P (Sources, AudioCopiesTest, ::testing::ValuesIn (soundTimelineSources()),
                          [] (const auto& info)
                          {
                              return juce::String (info.param.name)
                                  .upToFirstOccurrenceOf (".", false, false)
                                  .replaceCharacter ('-', '_')
                                  .toStdString();
                          });

/** Signal to error ratio of a copy against a reference, over the reference from a start on. */
double snrDb (const std::vector<float>& reference, const std::vector<float>& test, size_t from)
{
    double signal = 0.0, noise = 0.0;

    for (size_t i = from; i < std::min (reference.size(), test.size()); ++i)
    {
        signal += (double) reference[i] * reference[i];
        noise += ((double) test[i] - reference[i]) * ((double) test[i] - reference[i]);
    }

    return 10.0 * std::log10 (signal / std::max (1.0e-30, noise));
}

class OneEncodeTest : public SourceTimelinesTest
{
};

TEST_F (OneEncodeTest, ABypassedSaveOfAnAacMovieHoldsOneEncodeOfItsSound)
{
    // Programme-like sound: a chord of partials under a little noise, in an AAC movie.
    const auto file = scratch.file ("aac-movie.mp4");
    ASSERT_TRUE (tavlin::test::runFfmpeg (
        "-f lavfi -i color=c=gray:s=160x120:r=25:d=4 -f lavfi -i "
        "aevalsrc=0.2*sin(2*PI*220*t)+0.15*sin(2*PI*331*t)+0.1*sin(2*PI*1250*t)+0.05*sin(2*PI*4400*t)"
        "+0.01*(random(0)-0.5):s=44100:c=stereo:d=4 -c:v mpeg4 -c:a aac -b:a 96k "
        + file.getFullPathName().quoted()));

    // One generation for comparison: the ffmpeg tool encodes the decoded sound once with the same encoder
    // at the same rate as a save (128 kbit/s per channel).
    const auto once = scratch.file ("encoded-once.m4a");
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-i " + file.getFullPathName().quoted() + " -vn -c:a aac -b:a 256k "
                                          + once.getFullPathName().quoted()));

    FakeSession session (host);

    MediaContainerComponent view (session, host.processor, host);
    open (view, file);
    const auto extracted = host.analyzed[0]; // the unprocessed sound, encoded once by the save's own encoder
    auto* player = &session.getPlayer();
    const auto out = scratch.file ("saved.mp4");
    ASSERT_TRUE (player->exportMedia (out, 1, 9).wasOk()) << host.lastExportError();

    // Counted: the processed sound was encoded once, into the save's intermediate file, and the copy holds
    // exactly those packets.
    juce::Array<juce::File> intermediates;

    for (const auto& f : host.temp.findChildFiles (juce::File::findFiles, false, "*TempCleanAudio.m4a"))
        if (f != extracted)
            intermediates.add (f);

    ASSERT_EQ (intermediates.size(), 1);
    const auto processedPackets = tavlin::test::packetsOf (intermediates[0], tavlin::test::StreamKind::audio);
    ASSERT_GT (processedPackets.size(), 100u);
    EXPECT_TRUE (tavlin::test::packetsOf (out, tavlin::test::StreamKind::audio) == processedPackets)
        << "the saved sound was encoded again";

    const auto decodedSource = tavlin::test::decodeTimeline (file);
    const auto reference = tavlin::test::decodeTimeline (once);
    const auto extraction = tavlin::test::decodeTimeline (extracted);
    const auto saved = tavlin::test::decodeTimeline (out);
    ASSERT_EQ (saved.sound.size(), decodedSource.sound.size());
    ASSERT_GE (reference.sound.size(), decodedSource.sound.size());

    // Noise substitution draws from the decoder's random state: the source decodes exactly as in a fresh
    // decoder only because decoding from the start always starts one.
    const size_t from = 0;
    const double oneGeneration = snrDb (decodedSource.sound, extraction.sound, from);
    const double savedCopy = snrDb (decodedSource.sound, saved.sound, from);
    EXPECT_NEAR (savedCopy, oneGeneration, 0.1) << "one encode with the same settings gives " << oneGeneration << " dB";

    // The same against the ffmpeg tool's one generation: a second encode would cost several dB.
    const double peer = snrDb (decodedSource.sound, reference.sound, from);
    EXPECT_GT (savedCopy, peer - 0.5) << "the ffmpeg tool's one generation gives " << peer << " dB";
    view.removeMedia();
}

} // namespace
