#pragma once

#include "PanelHost.h"
#include "TavAudioProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdlib>
#include <utility>
#include <vector>

namespace editor_test
{

/** Points the settings folder ($XDG_CONFIG_HOME) at a fresh temporary folder while it lives. */
class ScopedSettingsFolder
{
public:
    ScopedSettingsFolder() : folder (juce::File::createTempFile ("settings"))
    {
        folder.createDirectory();

        if (auto* old = std::getenv ("XDG_CONFIG_HOME"))
            previous = old, hadPrevious = true;

        setenv ("XDG_CONFIG_HOME", folder.getFullPathName().toRawUTF8(), 1);
    }

    ~ScopedSettingsFolder()
    {
        if (hadPrevious)
            setenv ("XDG_CONFIG_HOME", previous.toRawUTF8(), 1);
        else
            unsetenv ("XDG_CONFIG_HOME");

        folder.deleteRecursively();
    }

    const juce::File& getFolder() const noexcept { return folder; }

private:
    juce::File folder;
    juce::String previous;
    bool hadPrevious = false;
};

/** A transport that plays when told to, at a fixed position; the Option key as the test sets it. */
struct FakeHost : public PanelHost
{
    struct State
    {
        bool playing = false;
        int toggles = 0;
        double position = 0.0;
        bool mediaInPlayer = true;
        bool option = false;
        int guides = 0; ///< user guides asked for
    };

    explicit FakeHost (State& s) : state (s) {}

    bool isPlaying() override { return state.playing; }
    void togglePlayPause() override
    {
        ++state.toggles;
        state.playing = !state.playing;
    }
    double getPlayerPosition() override { return state.position; }
    bool canLearnFromPlayback() override { return state.mediaInPlayer; }
    bool isOptionKeyDown() override { return state.option; }
    void showUserGuide() override { ++state.guides; }

    State& state;
};

/** Every parameter write that goes through the notify-host path, in order. */
struct ParameterRecorder : public juce::AudioProcessorListener
{
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override
    {
        writes.emplace_back (index, value);
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}

    std::vector<std::pair<int, float>> writes;
};

/** Runs the message loop so that queued change messages and clicks are delivered. */
inline void pump (int ms = 30)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

/** Feeds blocks of quiet noise to the processor, as playback would. */
inline void feed (TavAudioProcessor& p, int blocks, unsigned seed = 7)
{
    juce::Random random ((juce::int64) seed);
    juce::MidiBuffer midi;
    juce::AudioBuffer<float> buffer (2, 512);

    for (int b = 0; b < blocks; ++b)
    {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 512; ++i)
                buffer.setSample (c, i, 0.1f * (random.nextFloat() - 0.5f));

        p.processBlock (buffer, midi);
    }
}

} // namespace editor_test
