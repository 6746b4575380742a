#include "FailingOutputStream.h"
#include "MediaFixtures.h"
#include "StallingOutputStream.h"

#include "media/PcmFileExporter.h"

#include <atomic>
#include <csignal>
#include <sys/resource.h>

using namespace tavlin::media;
using tavlin::test::ScratchFolder;

namespace
{
constexpr double rate = 44100.0;
constexpr int64_t length = 30000;
constexpr int offset = 1234;

/** A counter: each sample names its own position, different per channel, exact in 24 bits. */
float counter (int64_t n, int ch)
{
    return (float) ((n * 7 + ch * 1000) % 4001 - 2000) / 4096.0f;
}

class PcmFileExporterFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto wav = scratch.file ("counter.wav");
        ASSERT_TRUE (tavlin::test::writeWav (wav, rate, 2, length, 24, counter));
        processed = scratch.file ("processed.m4a");
        ASSERT_TRUE (tavlin::test::runFfmpeg ("-i " + wav.getFullPathName().quoted() + " -c:a alac "
                                              + processed.getFullPathName().quoted()));
        manager.registerBasicFormats();
    }

    ScratchFolder scratch;
    juce::File processed;
    juce::AudioFormatManager manager;
    SerialWorkQueue queue { "assetWriterQueue" };
};
} // namespace

TEST_F (PcmFileExporterFixture, WritesTwentyFourBitPcmFromTheOffsetOnward)
{
    struct Case
    {
        const char* name;
        MediaFileType type;
        double rate;
        int channels;
        const char* magic;
    };

    const Case cases[] = {
        { "out.wav", MediaFileType::wave, 44100.0, 2, "RIFF" },
        { "out.aif", MediaFileType::aiff, 44100.0, 2, "FORM" },
        { "mono.wav", MediaFileType::wave, 44100.0, 1, "RIFF" },
        { "up.wav", MediaFileType::wave, 48000.0, 2, "RIFF" },
    };

    std::vector<juce::String> finished;

    for (const auto& c : cases)
    {
        PcmFileExporter::Request request;
        request.source = processed;
        request.offset = MediaTime::make (offset, (int32_t) rate);
        request.destination = scratch.file (c.name);
        request.type = c.type;
        request.sampleRate = c.rate;
        request.channels = c.channels;
        juce::String error;
        ASSERT_TRUE (PcmFileExporter::start (queue, request, error,
                                             [&finished, name = juce::String (c.name)] (bool ok, const juce::String& e)
                                             {
                                                 EXPECT_TRUE (ok) << e;
                                                 EXPECT_EQ (juce::Thread::getCurrentThread()->getThreadName(),
                                                            "assetWriterQueue");
                                                 finished.push_back (name);
                                             }))
            << error;
    }

    ASSERT_TRUE (queue.waitUntilIdle());
    ASSERT_EQ (finished.size(), std::size (cases));

    for (size_t i = 0; i < std::size (cases); ++i)
    {
        const auto& c = cases[i];
        SCOPED_TRACE (c.name);
        EXPECT_EQ (finished[i], c.name) << "jobs ran out of order";

        const auto file = scratch.file (c.name);
        juce::MemoryBlock head;
        file.loadFileAsData (head);
        ASSERT_GT (head.getSize(), 12u);
        EXPECT_EQ (juce::String::fromUTF8 ((const char*) head.getData(), 4), c.magic);

        std::unique_ptr<juce::AudioFormatReader> reader (manager.createReaderFor (file));
        ASSERT_NE (reader, nullptr);
        EXPECT_EQ (reader->bitsPerSample, 24u);
        EXPECT_EQ (reader->sampleRate, c.rate);
        EXPECT_EQ ((int) reader->numChannels, c.channels);

        juce::AudioBuffer<float> data ((int) reader->numChannels, (int) reader->lengthInSamples);
        reader->read (&data, 0, data.getNumSamples(), 0, true, true);

        if (c.rate == rate)
        {
            ASSERT_EQ (reader->lengthInSamples, length - offset);

            for (int ch = 0; ch < c.channels; ++ch)
                for (int n = 0; n < data.getNumSamples(); ++n)
                {
                    const float expected = c.channels == 2 ? counter (n + offset, ch)
                                                           : 0.5f * (counter (n + offset, 0) + counter (n + offset, 1));
                    ASSERT_NEAR (data.getSample (ch, n), expected, 1.0e-6f) << "channel " << ch << " sample " << n;
                }
        }
        else
        {
            const double expectedLength = (double) (length - offset) * c.rate / rate;
            EXPECT_NEAR ((double) reader->lengthInSamples, expectedLength, 2.0);
        }
    }
}

TEST_F (PcmFileExporterFixture, RefusesWhatItCannotDoBeforeQueueingAnything)
{
    const auto text = scratch.file ("text.m4a");
    text.replaceWithText ("no sound here");

    struct Case
    {
        const char* name;
        juce::File source, destination;
        MediaFileType type;
    };

    const Case cases[] = {
        { "unreadable source", text, scratch.file ("a.wav"), MediaFileType::wave },
        { "missing source", scratch.file ("none.m4a"), scratch.file ("b.wav"), MediaFileType::wave },
        { "missing folder", processed, scratch.file ("no/folder/c.wav"), MediaFileType::wave },
        { "not a PCM type", processed, scratch.file ("d.mov"), MediaFileType::quickTimeMovie },
        { "destination is a folder", processed, scratch.get(), MediaFileType::wave },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        PcmFileExporter::Request request;
        request.source = c.source;
        request.destination = c.destination;
        request.type = c.type;
        juce::String error;
        bool ran = false;
        EXPECT_FALSE (PcmFileExporter::start (queue, request, error, [&] (bool, const juce::String&) { ran = true; }));
        EXPECT_TRUE (error.isNotEmpty());
        queue.waitUntilIdle();
        EXPECT_FALSE (ran);

        if (c.destination != scratch.get())
        {
            EXPECT_FALSE (c.destination.exists());
        }
    }
}

TEST_F (PcmFileExporterFixture, AFullDiskFailsWithATextAndNoFile)
{
    PcmFileExporter::Request request;
    request.source = processed;
    request.destination = scratch.file ("full.wav");

    // A file size limit makes writes fail as they would on a full disk.
    signal (SIGXFSZ, SIG_IGN);
    rlimit saved {};
    getrlimit (RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 16 * 1024;
    setrlimit (RLIMIT_FSIZE, &limited);
    juce::String error;
    const bool ok = PcmFileExporter::convert (request, error);
    setrlimit (RLIMIT_FSIZE, &saved);

    EXPECT_FALSE (ok);
    EXPECT_TRUE (error.isNotEmpty());
    EXPECT_FALSE (request.destination.exists());
    EXPECT_TRUE (scratch.get().findChildFiles (juce::File::findFiles, false, "*partial*").isEmpty());
}

// A write that fails anywhere, up to the header completed at the very end, leaves no file and an existing
// destination as it was.
TEST_F (PcmFileExporterFixture, AWriteThatFailsAnywhereIsAFailure)
{
    struct Case
    {
        const char* what;
        size_t bytesThatFit;
        bool rewritesFail;
    };

    const Case cases[] = {
        { "nothing fits", 0, false },
        { "the disk fills in the middle", 60000, false },
        { "the header cannot be completed at the end", 100000000, true },
    };

    const auto destination = scratch.file ("copy.wav");
    ASSERT_TRUE (destination.replaceWithText ("the copy saved yesterday"));

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        PcmFileExporter::Request request;
        request.source = processed;
        request.destination = destination;
        request.openStream = [c] (const juce::File& file)
        { return std::make_unique<tavlin::test::FailingOutputStream> (file, c.bytesThatFit, c.rewritesFail); };

        juce::String error;
        EXPECT_FALSE (PcmFileExporter::convert (request, error));
        EXPECT_TRUE (error.contains ("copy.wav")) << error;
        EXPECT_EQ (destination.loadFileAsString(), "the copy saved yesterday");
        EXPECT_TRUE (scratch.get()
                         .findChildFiles (juce::File::findFiles | juce::File::ignoreHiddenFiles, false, "*partial*")
                         .isEmpty());
        EXPECT_EQ (scratch.get().getNumberOfChildFiles (juce::File::findFiles), 3) << "no partial file left";
    }

    // Room enough, and the copy replaces the old one.
    PcmFileExporter::Request request;
    request.source = processed;
    request.destination = destination;
    request.openStream = [] (const juce::File& file)
    { return std::make_unique<tavlin::test::FailingOutputStream> (file, 100000000); };
    juce::String error;
    EXPECT_TRUE (PcmFileExporter::convert (request, error)) << error;
    juce::AudioBuffer<float> written;
    ASSERT_TRUE (tavlin::test::readAll (manager, destination, written));
    EXPECT_EQ (written.getNumSamples(), length);
}

// The control shows how far a conversion has got, and one called off never puts its copy in place: not
// while it is stuck, and not when its storage answers again and it could finish.
TEST_F (PcmFileExporterFixture, AConversionCalledOffLeavesTheDestinationAsItWas)
{
    const auto destination = scratch.file ("copy.aif");
    ASSERT_TRUE (destination.replaceWithText ("the copy saved yesterday"));
    auto release = std::make_shared<juce::WaitableEvent> (true);

    PcmFileExporter::Request request;
    request.source = processed;
    request.destination = destination;
    request.type = MediaFileType::aiff;
    request.control = std::make_shared<PcmFileExporter::Control>();
    request.openStream = [release] (const juce::File& file)
    { return std::make_unique<tavlin::test::StallingOutputStream> (file, 100000, release); };

    std::atomic<bool> finished { false }, succeeded { true };
    juce::String failure;
    juce::String error;
    ASSERT_TRUE (PcmFileExporter::start (queue, request, error,
                                         [&] (bool ok, const juce::String& e)
                                         {
                                             failure = e;
                                             succeeded = ok;
                                             finished = true;
                                         }))
        << error;

    // Stuck part of the way in.
    const auto& control = *request.control;
    for (int waited = 0; control.getFramesWritten() == 0 && waited < 10000; waited += 10)
        juce::Thread::sleep (10);

    juce::Thread::sleep (200);
    EXPECT_EQ (control.getTotalFrames(), length);
    EXPECT_GT (control.getFramesWritten(), 0);
    EXPECT_LT (control.getFramesWritten(), length);
    EXPECT_FALSE (finished.load());

    EXPECT_TRUE (request.control->callOff());
    EXPECT_TRUE (request.control->callOff()) << "called off once and for all";
    release->signal();
    ASSERT_TRUE (queue.waitUntilIdle (60000));

    EXPECT_TRUE (finished.load());
    EXPECT_FALSE (succeeded.load());
    EXPECT_TRUE (failure.contains ("called off")) << failure;
    EXPECT_EQ (destination.loadFileAsString(), "the copy saved yesterday");
    EXPECT_TRUE (scratch.get()
                     .findChildFiles (juce::File::findFiles | juce::File::ignoreHiddenFiles, false, "*partial*")
                     .isEmpty());
    EXPECT_EQ (scratch.get().getNumberOfChildFiles (juce::File::findFiles), 3) << "no partial file left";

    // Not called off, the same conversion counts every frame and replaces the old copy.
    request.control = std::make_shared<PcmFileExporter::Control>();
    request.openStream = nullptr;
    EXPECT_TRUE (PcmFileExporter::convert (request, error)) << error;
    EXPECT_EQ (request.control->getFramesWritten(), length);
    EXPECT_FALSE (request.control->callOff()) << "too late: the copy is in place";
    juce::AudioBuffer<float> written;
    ASSERT_TRUE (tavlin::test::readAll (manager, destination, written));
    EXPECT_EQ (written.getNumSamples(), length);
}
