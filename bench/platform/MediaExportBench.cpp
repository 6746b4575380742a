// Processed export of a 10-minute stereo file through a pass-through tap, as a multiple of real time, beside
// the ffmpeg tool decoding and encoding the same file in one run.

#include "media/MediaExportSession.h"

#include <benchmark/benchmark.h>
#include <juce_audio_formats/juce_audio_formats.h>

#include <chrono>
#include <random>

using namespace tavlin::media;

namespace
{
constexpr double rate = 44100.0;
constexpr double seconds = 600.0;

const juce::File& sourceFile()
{
    static const juce::File file = []
    {
        auto f = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("tavlin-bench-source.wav");

        if (!f.existsAsFile())
        {
            juce::WavAudioFormat wav;
            auto stream = f.createOutputStream();
            std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (stream.get(), rate, 2, 16, {}, 0));

            if (writer != nullptr)
                juce::ignoreUnused (stream.release()); // the writer owns it now
            std::mt19937 random (99);
            std::uniform_real_distribution<float> noise (-0.3f, 0.3f);
            juce::AudioBuffer<float> block (2, 44100);

            for (int second = 0; second < (int) seconds; ++second)
            {
                for (int ch = 0; ch < 2; ++ch)
                    for (int i = 0; i < block.getNumSamples(); ++i)
                        block.setSample (ch, i,
                                         0.3f * std::sin (0.05f * (float) i * (float) (ch + 1)) + noise (random));

                writer->writeFromAudioSampleBuffer (block, 0, block.getNumSamples());
            }
        }

        return f;
    }();

    return file;
}

void passThrough (AudioProcessingTap& tap, int64_t frames, uint32_t, TapBufferList& list, int64_t* framesOut, uint32_t*)
{
    tap.getSourceAudio (frames, list, nullptr, nullptr, framesOut);
}

void processedExport (benchmark::State& state, const juce::String& preset)
{
    const auto out = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("tavlin-bench-out.m4a");
    MediaAsset asset (sourceFile());

    for (auto _ : state)
    {
        auto composition = MediaComposition::fromAsset (asset);
        auto session = MediaExportSession::create (composition, preset);
        AudioProcessingTap::Callbacks callbacks;
        callbacks.process = passThrough;
        std::shared_ptr<AudioProcessingTap> tap = AudioProcessingTap::create (callbacks, 1);
        auto mix = std::make_shared<AudioMix>();
        mix->setInputParameters ({ { composition.getFirstTrack (MediaType::audio)->trackID, tap } });
        session->setAudioMix (mix);
        session->setOutputFile (out);
        session->setOutputFileType (MediaFileType::appleM4A);

        const auto start = std::chrono::steady_clock::now();
        session->exportAsynchronously ({});
        session->waitUntilFinished();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime (took.count());

        if (session->getStatus() != MediaExportSession::Status::completed)
            state.SkipWithError (session->getError().toRawUTF8());

        state.counters["x_realtime"] = seconds / took.count();
    }

    out.deleteFile();
}

void ffmpegTool (benchmark::State& state, const char* codec)
{
    const auto out = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("tavlin-bench-tool.m4a");

    for (auto _ : state)
    {
        juce::ChildProcess process;
        const auto start = std::chrono::steady_clock::now();
        process.start (juce::StringArray { "ffmpeg", "-nostdin", "-v", "error", "-y", "-i",
                                           sourceFile().getFullPathName(), "-c:a", codec, out.getFullPathName() });
        process.waitForProcessToFinish (-1);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime (took.count());

        if (process.getExitCode() != 0)
            state.SkipWithError ("the ffmpeg tool failed");

        state.counters["x_realtime"] = seconds / took.count();
    }

    out.deleteFile();
}
} // namespace

BENCHMARK_CAPTURE (processedExport, aac_m4a, MediaExportSession::presetAppleM4A)
    ->Iterations (1)
    ->UseManualTime()
    ->Unit (benchmark::kSecond);
BENCHMARK_CAPTURE (ffmpegTool, aac_m4a, "aac")->Iterations (1)->UseManualTime()->Unit (benchmark::kSecond);
BENCHMARK_CAPTURE (processedExport, alac_m4a, MediaExportSession::presetAppleLosslessM4A)
    ->Iterations (1)
    ->UseManualTime()
    ->Unit (benchmark::kSecond);
BENCHMARK_CAPTURE (ffmpegTool, alac_m4a, "alac")->Iterations (1)->UseManualTime()->Unit (benchmark::kSecond);

BENCHMARK_MAIN();
