#include "TavAudioProcessor.h"

#include "ZClickAndCrackleBay.h"
#include "ZDeclipping.h"
#include "ZEnhancementBay.h"
#include "ZExpander.h"
#include "ZMaximizer.h"
#include "ZNoiseReductionBay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace
{
using P = TavAudioProcessor;

class ParametersTest : public ::testing::Test
{
protected:
    juce::ScopedJuceInitialiser_GUI juce;
};

class ChangeCounter : public juce::ChangeListener
{
public:
    void changeListenerCallback (juce::ChangeBroadcaster*) override { ++count; }
    int count = 0;
};

TEST_F (ParametersTest, FreshProcessorReadsBackTheDefaults)
{
    P p;

    const float defaults[P::numParameters] = {
        0.0f,
        0.0f,
        0.574999988f,
        0.5f,
        0.0f,
        0.0f,
        1.0f,
        0.0f,
        -0.0f,
        0.0f,
        0.0f,
        0.0f,
        3.0f / 14.0f,
        100.0f / 140.0f,
        8000.0f / 18000.0f,
        22050.0f / 384000.0f,
        0.0f,
        0.0f,
        0.85f,
        0.0f,
    };

    const char* names[P::numParameters] = {
        "Click/Crackle Detection",
        "Enhance",
        "Tuner-Broadband NR",
        "Amount-Broadband NR",
        "Preserve Voice",
        "Remove Rumble",
        "Hum Removal",
        "Noise Reduction Mode",
        "Boost Volume",
        "Declipper",
        "Track",
        "Bypass",
        "Num Hum Harmonics",
        "Rumble Freq",
        "Low Pass Freq",
        "Broadband Limit Low",
        "Broadband Limit High",
        "Enhance Preset",
        "DExp Threshold",
        "DExp Amount",
    };

    EXPECT_EQ (p.getNumParameters(), 20);

    for (int i = 0; i < P::numParameters; ++i)
    {
        EXPECT_FLOAT_EQ (p.getParameter (i), defaults[i]) << names[i];
        EXPECT_EQ (p.getParameterDefaultValue (i), p.getParameter (i)) << names[i];
        EXPECT_EQ (p.getParameterName (i), names[i]);
    }

    EXPECT_TRUE (std::signbit (p.getParameter (P::boostVolume)));
    EXPECT_EQ (p.getParameterText (P::tunerBroadbandNR), "0.57");
    EXPECT_EQ (p.getParameterText (P::boostVolume), "+0.97");
    EXPECT_EQ (p.getParameterText (P::humRemoval), "1.00");
    EXPECT_EQ (p.getParameterText (P::clickCrackleDetection), "0.00");

    for (int i : { -1, 20, 1000 })
    {
        EXPECT_EQ (p.getParameterName (i), "");
        EXPECT_EQ (p.getParameter (i), 0.0f);
        EXPECT_EQ (p.getParameterDefaultValue (i), 0.0f);
    }

    EXPECT_EQ (p.getName(), "Tavlin");
    EXPECT_EQ (p.getNumPrograms(), 1);
    EXPECT_EQ (p.getProgramName (0), "Default");
}

// One row per write: the value handed in, the DSP setting it must give, and the value read back.
TEST_F (ParametersTest, WritesReachTheDspObjectsAndReadBackFromThem)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();

    struct Row
    {
        int index;
        float value;
        std::function<bool (P&)> dspSetting;
        float readBack;
    };

    const Row rows[] = {
        { P::clickCrackleDetection, 0.25f, [] (P& p) { return p.getClickAndCrackleBay().getAmount() == 0.25f; },
          0.25f },
        { P::enhance, 0.5f, [] (P& p) { return p.getEnhancementBay().getAmount() == 0.5f; }, 0.5f },
        { P::tunerBroadbandNR, 0.75f, [] (P& p) { return p.getNoiseReductionBay().getTuner() == 10.0f; }, 0.75f },
        { P::tunerBroadbandNR, 0.0f, [] (P& p) { return p.getNoiseReductionBay().getTuner() == -20.0f; }, 0.0f },
        { P::amountBroadbandNR, 1.0f, [] (P& p) { return p.getNoiseReductionBay().getReduction() == 30.0f; }, 1.0f },
        { P::preserveVoice, 0.99f, [] (P& p) { return !p.getNoiseReductionBay().getPreserveVoice(); }, 0.0f },
        { P::preserveVoice, 1.0f, [] (P& p) { return p.getNoiseReductionBay().getPreserveVoice(); }, 1.0f },
        { P::removeRumble, 0.5f, [] (P& p) { return !p.getNoiseReductionBay().getRemoveRumble(); }, 0.0f },
        { P::removeRumble, 1.0f, [] (P& p) { return p.getNoiseReductionBay().getRemoveRumble(); }, 1.0f },
        { P::humRemoval, 0.0f, [] (P& p) { return p.getNoiseReductionBay().getHumMode() == 0; }, 0.0f },
        { P::humRemoval, 0.49f, [] (P& p) { return p.getNoiseReductionBay().getHumMode() == 0; }, 0.0f },
        { P::humRemoval, 0.5f, [] (P& p) { return p.getNoiseReductionBay().getHumMode() == 1; }, 0.5f },
        { P::humRemoval, 1.0f, [] (P& p) { return p.getNoiseReductionBay().getHumMode() == 2; }, 1.0f },
        { P::noiseReductionMode, 0.5f, [] (P& p) { return p.getNoiseReductionBay().getMode() == 1; }, 0.5f },
        { P::noiseReductionMode, 0.75f, [] (P& p) { return p.getNoiseReductionBay().getMode() == 1; }, 0.5f },
        { P::noiseReductionMode, 1.0f, [] (P& p) { return p.getNoiseReductionBay().getMode() == 2; }, 1.0f },
        { P::boostVolume, 0.5f,
          [] (P& p) {
              return p.getMaximizer (0).enabled && p.getMaximizer (1).enabled
                     && p.getMaximizer (1).getThresholdDb() == -20.0f;
          },
          0.5f },
        { P::boostVolume, 0.0f, [] (P& p) { return !p.getMaximizer (0).enabled && !p.getMaximizer (1).enabled; },
          0.0f },
        { P::declipper, 0.3f, [] (P& p) { return p.getDeclipper (0).enabled && p.getDeclipper (1).enabled; }, 1.0f },
        { P::declipper, 0.0f, [] (P& p) { return !p.getDeclipper (0).enabled && !p.getDeclipper (1).enabled; }, 0.0f },
        { P::track, 0.2f, [] (P& p) { return p.getNoiseReductionBay().getTrack(); }, 1.0f },
        { P::bypassParameter, 1.0f, [] (P& p) { return p.isBypassed(); }, 1.0f },
        { P::numHumHarmonics, 0.5f, [] (P& p) { return p.getNoiseReductionBay().getNumHumHarmonics() == 7; }, 0.5f },
        { P::rumbleFreq, 0.5f, [] (P& p) { return p.getNoiseReductionBay().getRumbleFrequency() == 70.0f; }, 0.5f },
        { P::lowPassFreq, 0.5f, [] (P& p) { return p.getNoiseReductionBay().getLowPassFrequency() == 9000.0f; }, 0.5f },
        { P::broadbandLimitLow, 0.125f,
          [] (P& p) { return p.getNoiseReductionBay().getBroadbandLimitLow() == 48000.0f; }, 0.125f },
        { P::broadbandLimitHigh, 0.25f,
          [] (P& p) { return p.getNoiseReductionBay().getBroadbandLimitHigh() == 96000.0f; }, 0.25f },
        { P::enhancePreset, 0.5f, [] (P& p) { return p.getEnhancementBay().getPreset() == 3; }, 0.5f },
        { P::dexpThreshold, 0.25f,
          [] (P& p) { return p.getExpander (0).getThreshold() == 0.75f && p.getExpander (1).getThreshold() == 0.75f; },
          0.25f },
        { P::dexpAmount, 1.0f,
          [] (P& p) {
              return p.getExpander (1).getRatioBelow() == 4.0f && p.getExpander (0).enabled
                     && p.getExpander (1).enabled;
          },
          1.0f },
        { P::dexpAmount, 0.0f, [] (P& p) { return !p.getExpander (0).enabled && !p.getExpander (1).enabled; }, 0.0f },

        // Values outside 0..1, and NaN, are brought into range before they select anything.
        { P::tunerBroadbandNR, 1.5f, [] (P& p) { return p.getNoiseReductionBay().getTuner() == 20.0f; }, 1.0f },
        { P::noiseReductionMode, nan, [] (P& p) { return p.getNoiseReductionBay().getMode() == 0; }, 0.0f },
        { P::noiseReductionMode, 3.0f, [] (P& p) { return p.getNoiseReductionBay().getMode() == 2; }, 1.0f },
        { P::humRemoval, -3.0f, [] (P& p) { return p.getNoiseReductionBay().getHumMode() == 0; }, 0.0f },
        { P::enhancePreset, 7.0f, [] (P& p) { return p.getEnhancementBay().getPreset() == 6; }, 1.0f },
        { P::numHumHarmonics, inf, [] (P& p) { return p.getNoiseReductionBay().getNumHumHarmonics() == 14; }, 1.0f },
        { P::boostVolume, nan, [] (P& p) { return !p.getMaximizer (0).enabled; }, 0.0f },
        { P::dexpAmount, -inf, [] (P& p) { return p.getExpander (0).getRatioBelow() == 1.0f; }, 0.0f },
        { P::declipper, nan, [] (P& p) { return !p.getDeclipper (0).enabled; }, 0.0f },
    };

    P p;

    for (const auto& row : rows)
    {
        p.setParameter (row.index, row.value);
        EXPECT_TRUE (row.dspSetting (p)) << p.getParameterName (row.index) << " <- " << row.value;
        EXPECT_FLOAT_EQ (p.getParameter (row.index), row.readBack)
            << p.getParameterName (row.index) << " <- " << row.value;
    }
}

std::uint32_t bitsOf (float value)
{
    std::uint32_t bits;
    std::memcpy (&bits, &value, sizeof (bits));
    return bits;
}

// Over the whole parameter table: each default, each point of a parameter's grid, and any value read back
// and written again, bit for bit (a negative zero stays negative).
TEST_F (ParametersTest, EveryParameterRoundTripsThroughTheTable)
{
    ASSERT_EQ (ProcessorParameter::count, P::numParameters);

    std::mt19937 random (20);
    std::uniform_real_distribution<float> anywhere (0.0f, 1.0f);

    for (int i = 0; i < P::numParameters; ++i)
    {
        const auto& row = ProcessorParameter::table[i];
        SCOPED_TRACE (row.name);

        P p;
        const auto defaultValue = row.getDefaultNormalised();
        EXPECT_EQ (bitsOf (p.getParameter (i)), bitsOf (defaultValue)) << "a new processor holds the default";
        EXPECT_EQ (bitsOf (p.getParameterDefaultValue (i)), bitsOf (defaultValue));

        p.setParameter (i, defaultValue);
        EXPECT_EQ (bitsOf (p.getParameter (i)), bitsOf (defaultValue)) << "writing the default changes nothing";

        // The normalised values of the DSP values that the range holds exactly read back as they went in.
        std::vector<float> grid;

        switch (row.scaling)
        {
            case ProcessorParameter::linear:
            case ProcessorParameter::inverted:
                grid = { 0.0f, 0.25f, 0.5f, 0.75f, 1.0f };
                break;
            case ProcessorParameter::steps:
                for (int step = 0; step <= (int) row.maximum; ++step)
                    grid.push_back ((float) step / row.maximum);
                break;
            case ProcessorParameter::exactlyOne:
            case ProcessorParameter::nonZero:
                grid = { 0.0f, 1.0f };
                break;
        }

        // The filters refuse a corner of 0 Hz and keep theirs.
        const bool refusesZero = i == P::rumbleFreq || i == P::lowPassFreq;

        for (auto v : grid)
        {
            const auto before = p.getParameter (i);
            p.setParameter (i, v);
            EXPECT_EQ (bitsOf (p.getParameter (i)), bitsOf (v == 0.0f && refusesZero ? before : v)) << "set to " << v;
        }

        // Whatever was set, what it reads back, written again, reads back the same.
        for (int k = 0; k <= 2048; ++k)
        {
            const auto v = k <= 1024 ? (float) k / 1024.0f : anywhere (random);
            p.setParameter (i, v);
            const auto readBack = p.getParameter (i);
            p.setParameter (i, readBack);
            ASSERT_EQ (bitsOf (p.getParameter (i)), bitsOf (readBack)) << "set to " << v;
        }

        p.dispatchPendingMessages();
    }
}

TEST_F (ParametersTest, EveryWriteButTheBroadbandLimitsSendsAChangeMessage)
{
    P p;
    ChangeCounter counter;
    p.addChangeListener (&counter);
    p.dispatchPendingMessages();
    counter.count = 0;

    for (int i = -1; i <= P::numParameters; ++i)
    {
        p.setParameter (i, p.getParameter (i));
        p.dispatchPendingMessages();
        EXPECT_EQ (counter.count, (i == 15 || i == 16) ? 0 : 1) << "index " << i;
        counter.count = 0;
    }

    p.removeChangeListener (&counter);
}

TEST_F (ParametersTest, ResetToDefaultsKeepsBypassAndTheUnmappedSettings)
{
    P p;

    for (int i = 0; i < P::numParameters; ++i)
        p.setParameter (i, 0.9f);
    p.getLearnRegion() = { 4410, 12288 };

    p.resetToDefaults();

    const int restored[] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 17, 18 };
    for (int i : restored)
        EXPECT_EQ (p.getParameter (i), p.getParameterDefaultValue (i)) << p.getParameterName (i);

    const int kept[] = { 11, 13, 14, 15, 16, 19 };
    for (int i : kept)
        EXPECT_FLOAT_EQ (p.getParameter (i), i == 11 ? 1.0f : 0.9f) << p.getParameterName (i);

    EXPECT_FALSE (p.getExpander (0).enabled);
    EXPECT_FALSE (p.getMaximizer (1).enabled);
    EXPECT_FALSE (p.getDeclipper (1).enabled);
    EXPECT_EQ (p.getLearnRegion().startSample, 0);
    EXPECT_EQ (p.getLearnRegion().lengthSamples, 0);
}

class ParameterRecorder : public juce::AudioProcessorListener
{
public:
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override
    {
        indices.push_back (index);
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    std::vector<int> indices;
};

TEST_F (ParametersTest, TheEndOfLearningRepublishesTunerAmountAndMode)
{
    P p;
    p.prepareToPlay (44100.0, 512);
    p.setPlayConfigDetails (2, 2, 44100.0, 512);
    ParameterRecorder recorder;
    p.addListener (&recorder);
    ChangeCounter counter;
    p.addChangeListener (&counter);

    juce::MidiBuffer midi;
    juce::AudioBuffer<float> buffer (2, 512);
    juce::Random random (17);

    auto feed = [&] (int calls)
    {
        for (int k = 0; k < calls; ++k)
        {
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 512; ++i)
                    buffer.setSample (c, i, 0.1f * (random.nextFloat() - 0.5f));
            p.processBlock (buffer, midi);
        }
    };

    p.getNoiseReductionBay().startLearning();
    feed (40);
    p.getNoiseReductionBay().stopLearning();
    feed (4);

    juce::MessageManager::getInstance()->runDispatchLoopUntil (200);

    EXPECT_EQ (p.getParameter (P::noiseReductionMode), 0.5f);
    EXPECT_EQ (recorder.indices, (std::vector<int> { 2, 3, 7 }));
    EXPECT_GE (counter.count, 1);

    p.removeListener (&recorder);
    p.removeChangeListener (&counter);
}

} // namespace
