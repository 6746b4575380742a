#include "ZNoiseReductionBay.h"

#include "vj_exception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace
{

using vesk::ZBuffer;
using vesk::ZNoiseReductionBay;
using Signal = std::vector<std::vector<float>>;

constexpr double pi = 3.14159265358979323846;
constexpr float sampleRate = 44100.0f;
constexpr int bins = ZNoiseReductionBay::binCount;

double toDb (double power)
{
    return 10.0 * std::log10 (power);
}

Signal whiteNoise (int channels, int length, float sigma, unsigned seed)
{
    std::mt19937 generator (seed);
    std::normal_distribution<float> normal (0.0f, sigma);
    Signal signal ((size_t) channels, std::vector<float> ((size_t) length));

    for (auto& channel : signal)
        for (auto& x : channel)
            x = normal (generator);

    return signal;
}

void addSine (std::vector<float>& channel, double hz, double amplitude, int from = 0)
{
    for (size_t i = (size_t) from; i < channel.size(); ++i)
        channel[i] += (float) (amplitude * std::sin (2.0 * pi * hz * (double) i / sampleRate));
}

/** Amplitude of the component at hz in x[from, from + length), by projection on a sine and cosine. */
double toneAmplitude (const std::vector<float>& x, double hz, int from, int length)
{
    double c = 0.0, s = 0.0;

    for (int i = from; i < from + length; ++i)
    {
        const auto angle = 2.0 * pi * hz * (double) i / sampleRate;
        c += (double) x[(size_t) i] * std::cos (angle);
        s += (double) x[(size_t) i] * std::sin (angle);
    }

    return 2.0 * std::sqrt (c * c + s * s) / (double) length;
}

double energy (const std::vector<float>& x, int from, int length)
{
    double sum = 0.0;

    for (int i = from; i < from + length; ++i)
        sum += (double) x[(size_t) i] * (double) x[(size_t) i];

    return sum;
}

/** Energy of out - in delayed by latency over out[from, from + length), relative to the input's, in dB. */
double residualDb (const std::vector<float>& out, const std::vector<float>& in, int latency, int from, int length)
{
    double error = 0.0, reference = 0.0;

    for (int i = from; i < from + length; ++i)
    {
        const auto expected = (double) in[(size_t) (i - latency)];
        const auto d = (double) out[(size_t) i] - expected;
        error += d * d;
        reference += expected * expected;
    }

    return toDb (error / reference);
}

/** The bay as the processor drives it: prepared, set to the rate and block size, then reset. */
std::unique_ptr<ZNoiseReductionBay> makeBay (int channels, int blockSize = 512)
{
    auto bay = std::make_unique<ZNoiseReductionBay> ("Noise Reduction", channels);
    bay->prepare();
    bay->prepare();
    bay->setSampleRate (sampleRate);
    bay->setBlockSize (blockSize);
    bay->reset();
    return bay;
}

/** Result of running a signal through a bay block by block. */
struct BayRun
{
    Signal output;
    int unwrittenSamples = 0;
};

/** Feeds the whole signal in blocks (the last one padded with zeros); beforeBlock (k) runs before block k.
    Every output block is filled with NaN before the call, so a sample the bay leaves alone is counted.
*/
BayRun runBay (ZNoiseReductionBay& bay, const Signal& input, int blockSize,
               const std::function<void (int)>& beforeBlock = {})
{
    const auto channels = (int) input.size();
    const auto length = (int) input[0].size();
    const auto blocks = (length + blockSize - 1) / blockSize;

    std::vector<std::unique_ptr<ZBuffer>> inBuffers, outBuffers;
    std::vector<ZBuffer*> inPointers, outPointers;

    for (int c = 0; c < channels; ++c)
    {
        inBuffers.push_back (std::make_unique<ZBuffer> (blockSize, "in"));
        outBuffers.push_back (std::make_unique<ZBuffer> (blockSize, "out"));
        inPointers.push_back (inBuffers.back().get());
        outPointers.push_back (outBuffers.back().get());
    }

    BayRun run;
    run.output.assign ((size_t) channels, std::vector<float> ((size_t) (blocks * blockSize)));

    for (int k = 0; k < blocks; ++k)
    {
        if (beforeBlock)
            beforeBlock (k);

        for (int c = 0; c < channels; ++c)
        {
            auto* in = inBuffers[(size_t) c]->getData();

            for (int i = 0; i < blockSize; ++i)
            {
                const auto t = k * blockSize + i;
                in[i] = t < length ? input[(size_t) c][(size_t) t] : 0.0f;
            }

            std::fill_n (outBuffers[(size_t) c]->getData(), blockSize, std::numeric_limits<float>::quiet_NaN());
        }

        bay.process (inPointers.data(), outPointers.data(), blockSize);

        for (int c = 0; c < channels; ++c)
        {
            const auto* out = outBuffers[(size_t) c]->getData();

            for (int i = 0; i < blockSize; ++i)
            {
                run.unwrittenSamples += std::isnan (out[i]) ? 1 : 0;
                run.output[(size_t) c][(size_t) (k * blockSize + i)] = out[i];
            }
        }
    }

    return run;
}

/** Records the action messages a broadcaster sends, in order of arrival. */
struct MessageLog : public juce::ActionListener
{
    void actionListenerCallback (const juce::String& message) override { messages.add (message); }
    juce::StringArray messages;
};

/** Action messages need a message manager; the test thread becomes the message thread. */
class BayTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { juce::MessageManager::getInstance(); }
    static void TearDownTestSuite() { juce::MessageManager::deleteInstance(); }

    static void pumpMessages() { juce::MessageManager::getInstance()->runDispatchLoopUntil (50); }
};

//==============================================================================
TEST_F (BayTest, ConstructionAndSetUp)
{
    for (auto count : { 0, 9, -1 })
        EXPECT_THROW (ZNoiseReductionBay ("Noise Reduction", count), vesk_juce::vj_dsp_exception) << count;

    try
    {
        ZNoiseReductionBay tooMany ("Noise Reduction", 9);
        FAIL() << "nine channels were accepted";
    }
    catch (const vesk_juce::vj_dsp_exception& e)
    {
        EXPECT_EQ (e.getMessage(), "Noise Reduction does not support that many channels.");
        EXPECT_EQ (e.getFile(), "signalbays/common/ZNoiseReductionBay");
    }

    EXPECT_NO_THROW (makeBay (8));

    auto bay = makeBay (2);
    EXPECT_EQ (bay->getLatency(), 1536);
    EXPECT_FLOAT_EQ (bay->getTuner(), 3.0f);
    EXPECT_FLOAT_EQ (bay->getReduction(), 15.0f);
    EXPECT_EQ (bay->getMode(), 0);
    EXPECT_EQ (bay->getHumMode(), 2);
    EXPECT_EQ (bay->getNumHumHarmonics(), 3);
    EXPECT_EQ (bay->isLearning(), 0);
    EXPECT_STREQ (bay->getChannelNoiseProfile (1)->getName(), "NoiseProfile1");
    EXPECT_EQ (bay->getChannelNoiseProfile (2), nullptr);

    // The display profile is the gates' switching level on the display's scale: 20 log10 (g) + tuner - 48.
    const auto g = bay->getSpectrumGain();
    EXPECT_NEAR (20.0 * std::log10 (g), 11.38, 0.01);

    for (int k = 0; k < bins; ++k)
    {
        ASSERT_NEAR (bay->getNoiseProfileBuffer()->getData()[k], -33.62f, 0.01f) << k;
        ASSERT_EQ (bay->getSpectrumBuffer()->getData()[k], -120.0f) << k;
    }
}

//==============================================================================
struct LatencyCase
{
    int mode;
    int blockSize;
    int expectedLatency;
    bool resetAfterBlockSize;
};

class BayLatency : public BayTest, public ::testing::WithParamInterface<LatencyCase>
{
};

TEST_P (BayLatency, ImpulseComesOutAtTheReportedLatency)
{
    const auto& p = GetParam();
    auto bay = std::make_unique<ZNoiseReductionBay> ("Noise Reduction", 2);
    bay->prepare();
    bay->setSampleRate (sampleRate);
    bay->setBlockSize (p.blockSize);

    if (p.resetAfterBlockSize)
        bay->reset();

    // Every stage neutral: no hum notches, no filters, a 0 dB gate.
    bay->setReduction (0.0f);
    bay->setMode (p.mode);
    ASSERT_EQ (bay->getLatency(), p.expectedLatency);

    const int positions[] = { 3001, 4354 };
    Signal input (2, std::vector<float> (12000, 0.0f));

    for (int c = 0; c < 2; ++c)
        input[(size_t) c][(size_t) positions[c]] = 1.0f;

    const auto run = runBay (*bay, input, p.blockSize);
    EXPECT_EQ (run.unwrittenSamples, 0);

    for (int c = 0; c < 2; ++c)
    {
        const auto& out = run.output[(size_t) c];
        const auto peak =
            std::max_element (out.begin(), out.end(), [] (float a, float b) { return std::abs (a) < std::abs (b); });
        const auto at = (int) (peak - out.begin());
        EXPECT_EQ (at - positions[c], p.expectedLatency) << "channel " << c;
        EXPECT_NEAR (toDb ((double) *peak * (double) *peak), 0.0, 0.001) << "channel " << c;

        const auto rest = energy (out, 0, (int) out.size()) - (double) *peak * (double) *peak;
        EXPECT_LT (toDb (rest), -120.0) << "channel " << c;
    }
}

INSTANTIATE_TEST_SUITE_P (ModesAndBlockSizes, BayLatency,
                          ::testing::Values (LatencyCase { 0, 512, 1536, true }, LatencyCase { 1, 512, 1536, true },
                                             LatencyCase { 0, 256, 1536, true }, LatencyCase { 1, 2048, 1536, true },
                                             LatencyCase { 0, 512, 1536, false }, LatencyCase { 0, 300, 1788, true },
                                             LatencyCase { 1, 441, 1791, true }, LatencyCase { 1, 1000, 1784, true },
                                             LatencyCase { 0, 100, 1788, false }));

//==============================================================================
TEST_F (BayTest, NoiseReductionAndNoiseOnlyAreComplementary)
{
    constexpr int length = 44100;
    auto input = whiteNoise (2, length, 0.1f, 7);
    addSine (input[0], 440.0, 0.05);
    addSine (input[0], 3000.0, 0.3);
    addSine (input[1], 1234.5, 0.02);

    Signal outputs[3];

    for (int m = 0; m < 3; ++m)
    {
        auto bay = makeBay (2);

        // Thresholds at the noise's own per-bin level, so the gate splits the noise between both modes.
        for (int c = 0; c < 2; ++c)
            std::fill_n (bay->getChannelNoiseProfile (c)->getData(), bins, -54.0f);

        bay->applyNoiseProfiles();
        bay->setMode (m);
        outputs[m] = runBay (*bay, input, 512).output;
    }

    const auto latency = 1536;
    const auto from = latency + 4096;
    const auto span = length - 4096 - from;

    for (int c = 0; c < 2; ++c)
    {
        std::vector<float> sum (outputs[1][(size_t) c].size());

        for (size_t i = 0; i < sum.size(); ++i)
            sum[i] = outputs[1][(size_t) c][i] + outputs[2][(size_t) c][i];

        EXPECT_LT (residualDb (sum, input[(size_t) c], latency, from, span), -90.0) << c;
        EXPECT_LT (residualDb (outputs[0][(size_t) c], input[(size_t) c], latency, from, span), -90.0) << c;

        // Both parts are substantial: the gate really divides the signal.
        const auto total = energy (input[(size_t) c], from - latency, span);
        EXPECT_GT (toDb (energy (outputs[2][(size_t) c], from, span) / total), -20.0) << c;
        EXPECT_GT (toDb (energy (outputs[1][(size_t) c], from, span) / total), -20.0) << c;
    }
}

//==============================================================================
/** The learned profile computed apart from the bay: mean power, in dB with a -120 dB floor, of the
    Hamming-windowed 1024-sample frames, each bin the DFT divided by 1024, by a naive DFT in double.
*/
std::vector<double> referenceProfile (const std::vector<float>& input, int priming, int frames)
{
    constexpr int n = ZNoiseReductionBay::frameLength;
    std::vector<double> window (n), cosine (n), sine (n), sum (bins, 0.0), x (n);

    for (int i = 0; i < n; ++i)
    {
        window[(size_t) i] = 0.54 - 0.46 * std::cos (2.0 * pi * i / (n - 1));
        cosine[(size_t) i] = std::cos (2.0 * pi * i / n);
        sine[(size_t) i] = std::sin (2.0 * pi * i / n);
    }

    for (int f = 0; f < frames; ++f)
    {
        // The input converter is primed with zeros: frame f starts priming samples before 1024 f.
        for (int i = 0; i < n; ++i)
        {
            const auto t = f * n + i - priming;
            x[(size_t) i] = (t >= 0 ? (double) input[(size_t) t] : 0.0) * window[(size_t) i];
        }

        for (int k = 0; k < bins; ++k)
        {
            double re = 0.0, im = 0.0;

            for (int i = 0; i < n; ++i)
            {
                const auto phase = (size_t) ((k * i) % n);
                re += x[(size_t) i] * cosine[phase];
                im -= x[(size_t) i] * sine[phase];
            }

            sum[(size_t) k] += (re * re + im * im) / ((double) n * n);
        }
    }

    for (auto& s : sum)
        s = std::max (toDb (s / frames), -120.0);

    return sum;
}

TEST_F (BayTest, LearningFromNoiseReducesItAndKeepsATone)
{
    constexpr int blockSize = 512;
    constexpr int learnBlocks = 2 * 44100 / blockSize;
    auto bay = makeBay (2);
    const auto learnInput = whiteNoise (2, learnBlocks * blockSize, 0.1f, 2024);

    MessageLog log;
    auto stopBlock = -1;
    bay->startLearning();
    EXPECT_EQ (bay->getMode(), 0);

    // Learning runs over the 2 s, the stop is asked before the last block; the bay takes it at the
    // first block that completes a frame.
    Signal learning = learnInput;

    for (auto& channel : learning)
        channel.resize (channel.size() + 2 * blockSize, 0.0f);

    runBay (*bay, learning, blockSize,
            [&] (int k)
            {
                if (k == learnBlocks - 1)
                {
                    bay->addActionListener (&log);
                    bay->stopLearning();
                }

                if (stopBlock < 0 && bay->isLearning() == 0)
                    stopBlock = k - 1;
            });

    ASSERT_GE (stopBlock, learnBlocks - 1);
    EXPECT_EQ (bay->getMode(), 1);
    EXPECT_EQ (bay->isLearning(), 0);

    pumpMessages();
    bay->removeActionListener (&log);
    EXPECT_EQ (log.messages, juce::StringArray ({ "Noise Profile", "Mode" }));

    // Each channel's profile is the mean over the frames completed up to the block that took the stop.
    const auto priming = ZNoiseReductionBay::primingFor (blockSize);
    const auto frames = (priming + (stopBlock + 1) * blockSize) / ZNoiseReductionBay::frameLength;

    for (int c = 0; c < 2; ++c)
    {
        const auto reference = referenceProfile (learning[(size_t) c], priming, frames);
        const auto* profile = bay->getChannelNoiseProfile (c)->getData();
        auto worst = 0.0;

        for (int k = 0; k < bins; ++k)
            worst = std::max (worst, std::abs ((double) profile[k] - reference[(size_t) k]));

        EXPECT_LT (worst, 0.001) << "channel " << c;
    }

    // Reduction at 15 dB on fresh noise of the same kind, then the same noise with a tone at bin 16 whose
    // bin power is 20 dB above the learned noise at that bin.
    constexpr int toneBin = 16;
    const auto toneHz = toneBin * (double) sampleRate / ZNoiseReductionBay::frameLength;
    const auto windowSum = 2048.0 / bay->getSpectrumGain();
    const auto binLevel = std::pow (10.0, (bay->getChannelNoiseProfile (0)->getData()[toneBin] + 20.0) / 20.0);
    const auto toneAmplitudeIn = 2.0 * ZNoiseReductionBay::frameLength * binLevel / windowSum;

    constexpr int phase = 3 * 44100;
    auto after = whiteNoise (2, 2 * phase, 0.1f, 99);

    for (auto& channel : after)
        addSine (channel, toneHz, toneAmplitudeIn, phase);

    const auto run = runBay (*bay, after, blockSize);
    EXPECT_EQ (run.unwrittenSamples, 0);
    const auto latency = bay->getLatency();

    for (int c = 0; c < 2; ++c)
    {
        const auto& out = run.output[(size_t) c];
        const auto& in = after[(size_t) c];
        const auto from = phase - 44100;
        const auto reductionDb = toDb (energy (out, from, 44100) / energy (in, from - latency, 44100));
        EXPECT_LT (reductionDb, -12.0) << "channel " << c;

        const auto toneFrom = 2 * phase - 44100;
        const auto toneOut = toneAmplitude (out, toneHz, toneFrom, 44100 - latency);
        EXPECT_NEAR (20.0 * std::log10 (toneOut / toneAmplitudeIn), 0.0, 0.5) << "channel " << c;
    }
}

//==============================================================================
struct LearningSwitchCase
{
    int blockSize;
    int startBlock;
    int stopBlock;
};

class BayLearningSwitch : public BayTest, public ::testing::WithParamInterface<LearningSwitchCase>
{
};

TEST_P (BayLearningSwitch, StartingAndEndingLearningKeepTheLatency)
{
    const auto& p = GetParam();
    auto bay = makeBay (2, p.blockSize);

    // A 0 dB gate makes mode 1 transparent, so every output sample must be the input delayed by the
    // latency before, during and after learning.
    bay->setReduction (0.0f);
    bay->setMode (1);

    const auto input = whiteNoise (2, (p.stopBlock + 40) * p.blockSize, 0.3f, 11);
    const auto run = runBay (*bay, input, p.blockSize,
                             [&] (int k)
                             {
                                 if (k == p.startBlock)
                                     bay->startLearning();
                                 else if (k == p.stopBlock)
                                     bay->stopLearning();
                             });

    EXPECT_EQ (run.unwrittenSamples, 0);
    EXPECT_EQ (bay->isLearning(), 0);
    EXPECT_EQ (bay->getMode(), 1);

    const auto latency = bay->getLatency();
    const auto length = (int) input[0].size();

    for (int c = 0; c < 2; ++c)
    {
        EXPECT_LT (residualDb (run.output[(size_t) c], input[(size_t) c], latency, latency, length - latency), -90.0)
            << "channel " << c;

        // Block by block as well, so that a short slip cannot hide in the whole.
        for (int k = (latency + p.blockSize - 1) / p.blockSize; k < length / p.blockSize; ++k)
            ASSERT_LT (residualDb (run.output[(size_t) c], input[(size_t) c], latency, k * p.blockSize, p.blockSize),
                       -80.0)
                << "channel " << c << " block " << k;
    }
}

INSTANTIATE_TEST_SUITE_P (BlockSizes, BayLearningSwitch,
                          ::testing::Values (LearningSwitchCase { 512, 10, 60 }, LearningSwitchCase { 512, 7, 33 },
                                             LearningSwitchCase { 300, 5, 40 }, LearningSwitchCase { 2048, 3, 9 }));

TEST_F (BayTest, StaleStopRequestDoesNotEndTheNextLearning)
{
    auto bay = makeBay (2);
    bay->stopLearning();
    bay->startLearning();

    // 768 primed + 10 x 512 samples make 5 frames per channel.
    runBay (*bay, whiteNoise (2, 10 * 512, 0.1f, 5), 512);
    EXPECT_EQ (bay->isLearning(), 1);
    EXPECT_EQ (bay->getMode(), 0);

    for (int c = 0; c < 2; ++c)
        EXPECT_EQ (bay->getLearningFrameCount (c), 5u) << c;

    bay->stopLearning();
    runBay (*bay, whiteNoise (2, 2 * 512, 0.1f, 6), 512);
    EXPECT_EQ (bay->isLearning(), 0);
    EXPECT_EQ (bay->getMode(), 1);
}

struct LearnedInputCase
{
    const char* name;
    float badValue; // written into the middle of the learned input; 0 for digital silence
    bool throughout; // every sample bad, so no frame can be learned
    bool keepsPrevious;
};

TEST_F (BayTest, LearnedProfilesStayFinite)
{
    // Frames holding a bad sample are left out; the rest of the silence is learned.
    const LearnedInputCase cases[] = { { "silence", 0.0f, false, false },
                                       { "NaN", std::numeric_limits<float>::quiet_NaN(), false, false },
                                       { "infinity", std::numeric_limits<float>::infinity(), false, false },
                                       { "NaN throughout", std::numeric_limits<float>::quiet_NaN(), true, true } };

    for (const auto& item : cases)
    {
        SCOPED_TRACE (item.name);
        auto bay = makeBay (2);

        for (int c = 0; c < 2; ++c)
            std::fill_n (bay->getChannelNoiseProfile (c)->getData(), bins, -60.0f);

        bay->applyNoiseProfiles();

        Signal input (2, std::vector<float> (20 * 512, item.throughout ? item.badValue : 0.0f));
        input[0][5000] = item.badValue;
        input[1][5000] = item.badValue;

        bay->startLearning();
        runBay (*bay, input, 512,
                [&] (int k)
                {
                    if (k == 15)
                        bay->stopLearning();
                });
        ASSERT_EQ (bay->isLearning(), 0);

        for (int c = 0; c < 2; ++c)
        {
            const auto* profile = bay->getChannelNoiseProfile (c)->getData();
            const auto* thresholds = bay->getNoiseProfileBuffer()->getData();

            for (int k = 0; k < bins; ++k)
            {
                ASSERT_EQ (profile[k], item.keepsPrevious ? -60.0f : -120.0f) << c << " bin " << k;
                ASSERT_TRUE (std::isfinite (thresholds[k])) << k;
            }
        }
    }
}

//==============================================================================
struct HumCase
{
    int humMode;
    int harmonics;
    double hz;
    double nominalDb; // the notch's gain for a harmonic in use, else 0
    double nominalTolerance;
};

/** Response in dB at hz of the notches in use (peaking, Q 60, 2j - 48 dB at (j + 1) base), in double. */
double notchCascadeDb (double base, int harmonics, double hz)
{
    std::complex<double> response (1.0);
    const auto z = std::polar (1.0, -2.0 * pi * hz / sampleRate);

    for (int j = 0; j < harmonics; ++j)
    {
        const auto a = std::pow (10.0, (2.0 * j - 48.0) / 40.0);
        const auto w0 = 2.0 * pi * (j + 1) * base / sampleRate;
        const auto alpha = std::sin (w0) / (2.0 * 60.0);
        const auto c = std::cos (w0);
        response *= (1.0 + alpha * a - 2.0 * c * z + (1.0 - alpha * a) * z * z)
                    / (1.0 + alpha / a - 2.0 * c * z + (1.0 - alpha / a) * z * z);
    }

    return 20.0 * std::log10 (std::abs (response));
}

class BayHum : public BayTest, public ::testing::WithParamInterface<HumCase>
{
};

TEST_P (BayHum, NotchesCutTheHarmonicsInUseOnly)
{
    const auto& p = GetParam();
    auto bay = makeBay (1);
    bay->setHumMode (p.humMode);
    bay->setNumHumHarmonics (p.harmonics);

    // Q 60 notches settle within a few seconds; the last second is measured.
    constexpr int length = 5 * 44100;
    Signal input (1, std::vector<float> (length, 0.0f));
    addSine (input[0], p.hz, 0.5);

    const auto run = runBay (*bay, input, 512);
    const auto gainDb = 20.0 * std::log10 (toneAmplitude (run.output[0], p.hz, length - 44100, 44100) / 0.5);
    EXPECT_NEAR (gainDb, p.nominalDb, p.nominalTolerance) << p.hz << " Hz";

    // The float coefficients of the deepest cuts are the least exact.
    const auto reference = p.humMode == 2 ? 0.0 : notchCascadeDb (p.humMode == 0 ? 50.0 : 60.0, p.harmonics, p.hz);
    EXPECT_NEAR (gainDb, reference, reference < -40.0 ? 1.5 : 0.02) << p.hz << " Hz";
}

// An octave below the fundamental the wide skirts of the deep cuts leave less than 0.2 dB; the first
// harmonic not in use is not notched.
INSTANTIATE_TEST_SUITE_P (FiftyAndSixtyHertz, BayHum,
                          ::testing::Values (HumCase { 0, 3, 50.0, -48.0, 1.5 }, HumCase { 0, 3, 100.0, -46.0, 1.5 },
                                             HumCase { 0, 3, 150.0, -44.0, 1.5 }, HumCase { 0, 3, 25.0, 0.0, 0.2 },
                                             HumCase { 0, 3, 200.0, 0.0, 1.0 }, HumCase { 0, 5, 200.0, -42.0, 1.5 },
                                             HumCase { 1, 3, 60.0, -48.0, 1.5 }, HumCase { 1, 3, 120.0, -46.0, 1.5 },
                                             HumCase { 1, 3, 180.0, -44.0, 1.5 }, HumCase { 1, 3, 30.0, 0.0, 0.2 },
                                             HumCase { 1, 3, 240.0, 0.0, 1.0 }, HumCase { 2, 3, 50.0, 0.0, 0.001 }));

//==============================================================================
TEST_F (BayTest, ResetToDefaultsReachesTheGates)
{
    const auto input = [&]
    {
        auto signal = whiteNoise (2, 2 * 44100, 0.1f, 31);
        addSine (signal[0], 1000.0, 0.05);
        addSine (signal[1], 300.0, 0.02);
        return signal;
    }();

    const auto prepareForRun = [] (ZNoiseReductionBay& bay)
    {
        for (int c = 0; c < 2; ++c)
            std::fill_n (bay.getChannelNoiseProfile (c)->getData(), bins, -54.0f);

        bay.applyNoiseProfiles();
        bay.setMode (1);
        bay.reset();
    };

    auto changed = makeBay (2);
    changed->setTuner (9.0f);
    changed->setReduction (30.0f);
    changed->setHumMode (1);
    changed->setPreserveVoice (true);
    changed->setRemoveRumble (true);
    changed->setMode (2);
    changed->resetToDefaults();

    EXPECT_FLOAT_EQ (changed->getTuner(), 3.0f);
    EXPECT_FLOAT_EQ (changed->getReduction(), 15.0f);
    EXPECT_EQ (changed->getHumMode(), 2);
    EXPECT_FALSE (changed->getPreserveVoice());
    EXPECT_FALSE (changed->getRemoveRumble());
    EXPECT_EQ (changed->getMode(), 0);
    EXPECT_EQ (changed->getChannelNoiseProfile (1)->getData()[100], -48.0f);

    auto fresh = makeBay (2);
    prepareForRun (*changed);
    prepareForRun (*fresh);

    const auto a = runBay (*changed, input, 512).output;
    const auto b = runBay (*fresh, input, 512).output;

    for (int c = 0; c < 2; ++c)
        for (size_t i = 0; i < a[(size_t) c].size(); ++i)
            ASSERT_EQ (a[(size_t) c][i], b[(size_t) c][i]) << "channel " << c << " sample " << i;

    for (int k = 0; k < bins; ++k)
        ASSERT_EQ (changed->getNoiseProfileBuffer()->getData()[k], fresh->getNoiseProfileBuffer()->getData()[k]);
}

TEST_F (BayTest, StoredValuesAreLimited)
{
    auto bay = makeBay (2);

    const std::pair<int, int> harmonics[] = { { -3, 0 }, { 20, 14 }, { 5, 5 }, { 14, 14 } };

    for (auto [given, expected] : harmonics)
    {
        bay->setNumHumHarmonics (given);
        EXPECT_EQ (bay->getNumHumHarmonics(), expected) << given;
    }

    const std::pair<int, int> modes[] = { { 7, 2 }, { -1, 0 }, { 1, 1 } };

    for (auto [given, expected] : modes)
    {
        bay->setMode (given);
        EXPECT_EQ (bay->getMode(), expected) << given;
        bay->setHumMode (given);
        EXPECT_EQ (bay->getHumMode(), expected) << given;
    }

    // Values that are not finite, and filter corners that are not above 0, leave the settings as they were.
    bay->setReduction (std::numeric_limits<float>::quiet_NaN());
    bay->setTuner (std::numeric_limits<float>::infinity());
    bay->setLowPassFrequency (0.0f);
    bay->setRumbleFrequency (-5.0f);
    EXPECT_FLOAT_EQ (bay->getReduction(), 15.0f);
    EXPECT_FLOAT_EQ (bay->getTuner(), 3.0f);
    EXPECT_FLOAT_EQ (bay->getLowPassFrequency(), 8000.0f);
    EXPECT_FLOAT_EQ (bay->getRumbleFrequency(), 100.0f);

    // A restored profile with bins that are not finite is installed with those bins at -48 dB.
    auto* profile = bay->getChannelNoiseProfile (1)->getData();
    std::fill_n (profile, bins, -70.0f);
    profile[3] = std::numeric_limits<float>::quiet_NaN();
    profile[400] = -std::numeric_limits<float>::infinity();
    bay->applyNoiseProfiles();
    EXPECT_EQ (profile[3], -48.0f);
    EXPECT_EQ (profile[400], -48.0f);
    EXPECT_EQ (profile[4], -70.0f);

    for (int k = 0; k < bins; ++k)
        ASSERT_TRUE (std::isfinite (bay->getNoiseProfileBuffer()->getData()[k])) << k;

    // The most notches and every mode run without a throw and with finite output.
    bay->setNumHumHarmonics (99);
    bay->setHumMode (0);

    for (int m : { 3, -2, 0, 1, 2 })
    {
        bay->setMode (m);
        BayRun run;
        EXPECT_NO_THROW (run = runBay (*bay, whiteNoise (2, 4096, 0.1f, 3), 512)) << m;
        EXPECT_EQ (run.unwrittenSamples, 0);

        for (const auto& channel : run.output)
            for (auto x : channel)
                ASSERT_TRUE (std::isfinite (x)) << m;
    }
}

//==============================================================================
/** Power mean over bins of the display spectrum, in dB. */
double meanDisplayDb (ZNoiseReductionBay& bay)
{
    double sum = 0.0;

    for (int k = 1; k < bins - 1; ++k)
        sum += std::pow (10.0, bay.getSpectrumBuffer()->getData()[k] / 10.0);

    return toDb (sum / (bins - 2));
}

TEST_F (BayTest, DisplaySpectrumIsTheBlocksSegmentPowerOnTheDisplayScale)
{
    // White noise of variance s^2 in both channels: each channel's segment 0 has the expected power
    // s^2 sum (w^2) / 1024^2 per bin (w the unnormalised Hamming analysis window); the display adds both
    // channels and every frame of the call and multiplies by g^2.
    constexpr double sigma = 0.1;
    double windowSquares = 0.0;

    for (int i = 0; i < 1024; ++i)
    {
        const auto w = 0.54 - 0.46 * std::cos (2.0 * pi * i / 1023.0);
        windowSquares += w * w;
    }

    for (auto [blockSize, framesPerCall] : { std::pair<int, int> { 512, 1 }, std::pair<int, int> { 2048, 2 } })
    {
        auto bay = makeBay (2, blockSize);
        const auto g = (double) bay->getSpectrumGain();
        const auto expectedDb = toDb (g * g * 2.0 * framesPerCall * sigma * sigma * windowSquares / (1024.0 * 1024.0));

        double sum = 0.0;
        int measured = 0;
        const auto input = whiteNoise (2, 200 * 512, (float) sigma, 77);

        runBay (*bay, input, blockSize,
                [&, smallBlocks = blockSize == 512] (int k)
                {
                    // After each call that completed frames; with 512-sample blocks these are the odd ones.
                    if (k > 4 && (!smallBlocks || k % 2 == 1))
                    {
                        sum += std::pow (10.0, meanDisplayDb (*bay) / 10.0);
                        ++measured;
                    }
                });

        ASSERT_GT (measured, 10);
        EXPECT_NEAR (toDb (sum / measured), expectedDb, 0.5) << blockSize;
    }

    // A call with learning frames shows -120 dB everywhere.
    auto bay = makeBay (2);
    bay->startLearning();
    runBay (*bay, whiteNoise (2, 512, 0.1f, 1), 512);

    for (int k = 0; k < bins; ++k)
        ASSERT_EQ (bay->getSpectrumBuffer()->getData()[k], -120.0f) << k;
}

} // namespace
