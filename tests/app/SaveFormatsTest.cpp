// Saving the processed media in each of the nine formats, without the application or a sound card: a
// generated movie and a generated WAV file are opened in the player and saved through the processor (set
// to bypass, so the processed sound is the source delayed by exactly the latency). Every copy is probed
// for its container, streams and sample format and compared with the source to the sample.

#include "AudioFormatExporter.h"
#include "FakePlayerHost.h"
#include "MediaContainerComponent.h"
#include "ProcessingAVPlayer.h"
#include "SharePicker.h"
#include "TavlinDocument.h"

#include <gtest/gtest.h>

using player_test::FakePlayerHost;
using player_test::FakeSession;
using player_test::pumpUntil;
using tavlin::test::ScratchFolder;

namespace
{
constexpr double seconds = 2.0;

/** Two rising sweeps over a little noise: no stretch repeats, so a shifted copy cannot pass for aligned. */
float sweep (int64_t n, int ch, double rate)
{
    const double t = (double) n / rate;
    const double f0 = ch == 0 ? 220.0 : 330.0, f1 = ch == 0 ? 3000.0 : 2200.0;
    const double phase = 2.0 * M_PI * (f0 * t + 0.5 * (f1 - f0) / seconds * t * t);
    const auto noise = (float) (((n * 7919 + ch * 104729) % 2001) - 1000) / 1000.0f;
    return 0.4f * (float) std::sin (phase) + 0.02f * noise;
}

/** What ffprobe says about a file: its format section and its streams. */
struct Probe
{
    juce::var format;
    juce::Array<juce::var> streams;

    juce::String formatName() const { return format["format_name"].toString(); }
    juce::String brand() const { return format["tags"]["major_brand"].toString(); }

    const juce::var* stream (const juce::String& type) const
    {
        for (auto& s : streams)
            if (s["codec_type"].toString() == type)
                return &s;

        return nullptr;
    }

    static Probe of (const juce::File& file)
    {
        juce::ChildProcess process;
        Probe probe;

        if (!process.start (juce::StringArray { "ffprobe", "-v", "error", "-show_format", "-show_streams", "-of",
                                                "json", file.getFullPathName() }))
            return probe;

        const auto json = juce::JSON::parse (process.readAllProcessOutput());
        process.waitForProcessToFinish (60000);
        probe.format = json["format"];

        if (auto* list = json["streams"].getArray())
            probe.streams = *list;

        return probe;
    }
};

struct Route
{
    int format;
    const char* extension;
    const char* container; // ffprobe's format name contains it
    const char* brand; // the major brand of the MPEG-4 family, or null
    const char* audioCodec;
    int bits; // bits per sample of the stored sound, 0 for compressed sound
    bool keepsPicture;
    bool lossy;
};

// The nine save formats: index, written extension, container, sound and whether a movie keeps its picture.
const Route routes[] = {
    { 0, ".mov", "mov", "qt  ", "aac", 0, true, true },
    { 1, ".mp4", "mp4", "isom", "aac", 0, true, true },
    { 2, ".m4v", "mp4", "M4V ", "aac", 0, true, true },
    { 3, ".m4a", "mp4", "M4A ", "aac", 0, false, true },
    { 4, ".caf", "caf", nullptr, "alac", 24, false, false },
    { 5, ".wav", "wav", nullptr, "pcm_s24le", 24, false, false },
    { 6, ".aif", "aiff", nullptr, "pcm_s24be", 24, false, false },
    { 7, ".flac", "flac", nullptr, "flac", 16, false, false },
    { 8, ".mp3", "mp3", nullptr, "mp3", 0, false, true },
};

struct Source
{
    const char* name;
    bool movie;
    int rate;
};

class SaveFormatsTest : public ::testing::Test
{
protected:
    void SetUp() override { juce::MessageManager::getInstance(); }

    bool makeSource (const Source& source, const juce::File& file)
    {
        const auto wav = source.movie ? scratch.file ("sound-for-movie.wav") : file;

        if (!tavlin::test::writeWav (wav, source.rate, 2, (int64_t) (seconds * source.rate), 16,
                                     [&] (int64_t n, int ch) { return sweep (n, ch, source.rate); }))
            return false;

        if (!source.movie)
            return true;

        return tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=160x120:rate=25:duration=" + juce::String (seconds)
                                        + " -i " + wav.getFullPathName().quoted()
                                        + " -c:v mpeg4 -q:v 3 -c:a aac -b:a 256k -shortest "
                                        + file.getFullPathName().quoted());
    }

    ScratchFolder scratch;
    FakePlayerHost host { scratch.file ("private") };
};

TEST_F (SaveFormatsTest, EveryFormatHoldsTheSourceInStepAndInFull)
{
    const Source sources[] = { { "movie.mov", true, 48000 }, { "voice.wav", false, 44100 } };

    for (const auto& source : sources)
    {
        SCOPED_TRACE (source.name);
        const auto file = scratch.file (source.name);
        ASSERT_TRUE (makeSource (source, file));

        juce::AudioBuffer<float> original;
        double originalRate = 0.0;
        ASSERT_TRUE (tavlin::test::readAll (host.formats, file, original, &originalRate));
        const auto sourceProbe = Probe::of (file);
        const auto* sourceVideo = sourceProbe.stream ("video");
        ASSERT_EQ (sourceVideo != nullptr, source.movie);

        FakeSession session (host);

        MediaContainerComponent view (session, host.processor, host);
        ASSERT_TRUE (view.loadMedia (file.getFullPathName(), nullptr, true));
        ASSERT_TRUE (pumpUntil ([&] { return host.analyzed.size() > 0 && host.isIdle(); }));
        host.analyzed.clear();

        // Bypassed, the processor hands out its input delayed by exactly its latency.
        host.processor.setParameter (TavAudioProcessor::bypassParameter, 1.0f);
        auto* player = &session.getPlayer();
        ASSERT_NE (player, nullptr);

        for (const auto& route : routes)
        {
            SCOPED_TRACE (route.extension);
            ASSERT_EQ (TavlinDocument::getExtensionForFormat (route.format), route.extension);
            const auto out = scratch.file (juce::String ("copy-") + source.name + route.extension);

            host.progressTexts.clear();
            ASSERT_TRUE (player->exportMedia (out, route.format, 9).wasOk()) << host.lastExportError();
            ASSERT_TRUE (ProcessingAVPlayer::waitForAudioWriters (60000));
            EXPECT_TRUE (host.isIdle()) << "the progress display is hidden again";
            EXPECT_TRUE (host.progressTexts.contains ("Working..."));
            ASSERT_TRUE (out.existsAsFile());

            const auto probe = Probe::of (out);
            EXPECT_TRUE (probe.formatName().contains (route.container)) << probe.formatName();

            if (route.brand != nullptr)
            {
                EXPECT_EQ (probe.brand(), route.brand);
            }

            const auto* audio = probe.stream ("audio");
            ASSERT_NE (audio, nullptr);
            EXPECT_EQ ((*audio)["codec_name"].toString(), route.audioCodec);
            EXPECT_EQ ((*audio)["channels"].toString().getIntValue(), 2);
            EXPECT_EQ ((*audio)["sample_rate"].toString().getIntValue(), source.rate);

            if (route.bits > 0)
            {
                auto bits = (*audio)["bits_per_raw_sample"].toString().getIntValue();

                if (bits == 0)
                    bits = (*audio)["bits_per_sample"].toString().getIntValue();

                EXPECT_EQ (bits, route.bits);
            }

            // The picture: copied whole and starting with the sound, only in the three movie formats.
            const auto* video = probe.stream ("video");
            const bool expectPicture = route.keepsPicture && source.movie;
            ASSERT_EQ (video != nullptr, expectPicture);

            if (expectPicture)
            {
                EXPECT_EQ ((*video)["codec_name"].toString(), (*sourceVideo)["codec_name"].toString());
                EXPECT_EQ ((*video)["nb_frames"].toString(), (*sourceVideo)["nb_frames"].toString());
                EXPECT_NEAR ((*video)["start_time"].toString().getDoubleValue(), 0.0, 1.0e-3);
            }

            juce::AudioBuffer<float> copy;
            double copyRate = 0.0;
            ASSERT_TRUE (tavlin::test::readAll (host.formats, out, copy, &copyRate));
            EXPECT_EQ (copyRate, originalRate);
            ASSERT_EQ (copy.getNumChannels(), original.getNumChannels());
            EXPECT_EQ (copy.getNumSamples(), original.getNumSamples()) << "exactly the source's length";

            const int length = std::min (copy.getNumSamples(), original.getNumSamples());
            ASSERT_GT (length, 4096 * 3);

            if (!route.lossy)
            {
                // Lossless: the same samples at the same positions, to the stored word length.
                const float step = 1.0f / (float) (1 << (route.bits - 1));
                float worst = 0.0f;

                for (int ch = 0; ch < copy.getNumChannels(); ++ch)
                    for (int i = 0; i < length; ++i)
                        worst = std::max (worst, std::abs (copy.getSample (ch, i) - original.getSample (ch, i)));

                EXPECT_LE (worst, 1.01f * step) << "sample for sample";
            }
            else
            {
                // Encoded again (AAC or MP3): each channel's best match lies at no shift at all. The encoders'
                // priming is taken off by the containers and decoders, so the tolerance is 0 samples.
                for (int ch = 0; ch < copy.getNumChannels(); ++ch)
                {
                    const int start = length / 2;
                    const auto [lag, correlation] = tavlin::test::bestLag (
                        original.getReadPointer (ch, start), 4096, copy.getReadPointer (ch, start - 2048), 8192, 2048);
                    EXPECT_EQ (lag - 2048, 0) << "channel " << ch;
                    EXPECT_GT (correlation, 0.95) << "channel " << ch;
                }
            }
        }

        view.removeMedia();
    }
}

} // namespace

namespace
{
TEST_F (SaveFormatsTest, MP3NeedsTheEncoderAndAWholeFileFromIt)
{
    const auto source = scratch.file ("processed.wav");
    ASSERT_TRUE (
        tavlin::test::writeWav (source, 44100, 2, 88200, 16, [] (int64_t n, int ch) { return sweep (n, ch, 44100); }));
    const auto destination = scratch.file ("copy.mp3");
    ASSERT_TRUE (destination.replaceWithText ("an earlier copy"));

    juce::StringArray questions;
    bool answer = false;
    AudioFormatExporter::Request request;
    request.source = source;
    request.destination = destination;
    request.askQuestion = [&] (const juce::String& title, const juce::String& message)
    {
        questions.add (title + ": " + message);
        return answer;
    };

    // A truncating stand-in for the encoder: what it leaves is only part of the sound.
    const auto truncating = scratch.file ("truncating-lame");
    ASSERT_TRUE (truncating.replaceWithText ("#!/bin/sh\nfor last; do :; done\n/usr/bin/lame -t \"$@\" || exit 1\n"
                                             "truncate -s 40% \"$last\"\n"));
    ASSERT_TRUE (truncating.setExecutePermission (true));

    EXPECT_EQ (request.encoderDownloadPage, "") << "a default build offers no page of another project";
    const auto missing = scratch.file ("none/lame").getFullPathName();

    struct Case
    {
        const char* what;
        juce::StringArray locations;
        const char* downloadPage;
        bool writes;
        bool asks, warns;
    };

    const Case cases[] = {
        { "no encoder anywhere, no download page", { missing }, "", false, false, true },
        { "no encoder anywhere, a download page", { missing }, "https://127.0.0.1/lame", false, true, false },
        { "an encoder that stops early", { truncating.getFullPathName() }, "", false, false, false },
        { "the encoder installed", { missing, "/usr/bin/lame" }, "", true, false, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        questions.clear();
        host.warnings.clear();
        request.encoderLocations = c.locations;
        request.encoderDownloadPage = c.downloadPage;
        juce::String error;
        EXPECT_EQ (AudioFormatExporter::exportWithAudioFormat (host, request, error), c.writes) << error;
        EXPECT_EQ (questions.size(), c.asks ? 1 : 0);
        ASSERT_EQ (host.warnings.size(), c.warns ? 1u : 0u);

        if (c.asks)
        {
            EXPECT_EQ (questions[0], "Missing LAME Encoder: Tavlin was unable to locate the LAME encoder.  Would you "
                                     "like to download the LAME installer?");
        }

        if (c.warns)
        {
            EXPECT_EQ (host.warnings[0].title, "Missing LAME Encoder");
            EXPECT_TRUE (host.warnings[0].message.contains ("package manager")) << host.warnings[0].message;
            EXPECT_TRUE (host.warnings[0].message.contains ("\"lame\"")) << host.warnings[0].message;
        }

        if (!c.writes)
        {
            EXPECT_FALSE (error.isEmpty());
            EXPECT_EQ (destination.loadFileAsString(), "an earlier copy") << "the earlier copy stays";
            continue;
        }

        juce::AudioBuffer<float> copy;
        ASSERT_TRUE (tavlin::test::readAll (host.formats, destination, copy));
        EXPECT_EQ (copy.getNumSamples(), 88200);
    }

    EXPECT_EQ (AudioFormatExporter::mp3QualityOption (9), 0) << "\"10 (high/slow)\" is the encoder's best";
    EXPECT_EQ (AudioFormatExporter::mp3QualityOption (0), 9);
}

TEST_F (SaveFormatsTest, SharingWritesANumberedQuickTimeMovieAndHandsItOn)
{
    const Source source { "voice.wav", false, 44100 };
    const auto file = scratch.file (source.name);
    ASSERT_TRUE (makeSource (source, file));

    FakeSession session (host);

    MediaContainerComponent view (session, host.processor, host);
    ASSERT_TRUE (view.loadMedia (file.getFullPathName(), nullptr, true));
    ASSERT_TRUE (pumpUntil ([&] { return host.analyzed.size() > 0 && host.isIdle(); }));
    auto* player = &session.getPlayer();
    ASSERT_NE (player, nullptr);

    SharePicker::Chosen chosen;
    int shown = 0;
    player->getSharing().presentSharePicker = [&] (SharePicker::Chosen callback)
    {
        ++shown;
        chosen = std::move (callback);
    };

    // Every picker shown takes the next number; a dismissed one leaves its empty placeholder.
    player->showServicePicker();
    EXPECT_EQ (shown, 1);
    const auto first = player->getSharing().getShareFile();
    EXPECT_EQ (first, host.temp.getChildFile ("voice-1.mov")) << "the extension of what it holds";
    EXPECT_TRUE (first.existsAsFile());
    EXPECT_EQ (first.getSize(), 0);
    chosen (nullptr);
    EXPECT_EQ (first.getSize(), 0);

    player->showServicePicker();
    const auto second = player->getSharing().getShareFile();
    EXPECT_EQ (second, host.temp.getChildFile ("voice-2.mov"));

    juce::Array<juce::File> handedOn;
    const SharePicker::Service service { "Test", [&] (const juce::File& f)
                                         {
                                             handedOn.add (f);
                                             return true;
                                         } };
    chosen (&service);
    ASSERT_EQ (handedOn.size(), 1);
    EXPECT_EQ (handedOn[0], second);

    const auto probe = Probe::of (second);
    EXPECT_EQ (probe.brand(), "qt  ") << "a QuickTime movie";
    ASSERT_NE (probe.stream ("audio"), nullptr);

    juce::AudioBuffer<float> original, shared;
    ASSERT_TRUE (tavlin::test::readAll (host.formats, file, original));
    ASSERT_TRUE (tavlin::test::readAll (host.formats, second, shared));
    EXPECT_EQ (shared.getNumSamples(), original.getNumSamples());
    view.removeMedia();
}
} // namespace
