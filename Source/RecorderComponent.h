#pragma once

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_audio_utils/juce_audio_utils.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

class AudioRecorder;
class LiveAudioInputDisplayComp;
class TavPreferences;

/** The recorder face of the media window: input source, mono or stereo, sample rate and bit depth, a
    settings view with the device selector (input, and the output the player plays through), the record/stop
    button, the elapsed time and two level strips.

    A recording goes to the first free "Tavlin Recording.wav", "Tavlin Recording(2).wav", ... in the user's
    Documents folder; stopping it opens the file in the player. A recording that cannot start, or that
    could not be written completely, is reported in a message box.

    The recorder and the two strips stay registered as callbacks of the device manager for the panel's
    whole life, also while the player is shown; they write silence to every output channel.
*/
class RecorderComponent : public juce::Component,
                          public juce::Timer,
                          public juce::ComboBox::Listener,
                          public juce::Button::Listener
{
public:
    /** Told the file of each recording that stops: the application shows the player and opens the file there. */
    using RecordingStopped = std::function<void (const juce::File& recording)>;

    /** onRecordingStopped may be empty: then a stopped recording only stays on disk. */
    RecorderComponent (juce::AudioDeviceManager& deviceManager, TavPreferences* preferences,
                       RecordingStopped onRecordingStopped);
    ~RecorderComponent() override;

    void paint (juce::Graphics&) override;
    void resized() override;
    void timerCallback() override;
    void comboBoxChanged (juce::ComboBox* box) override;
    void buttonClicked (juce::Button* button) override;

    /** The settings view (the device selector and "Done") or the recording view. */
    void showSettings (bool settings);

    /** Refills the rate popup from the current device and, with alsoSources, the input sources; then
        selects the stored channel count and bit depth and the device's current settings.
    */
    void refreshDevicePopups (bool alsoSources);
    void selectCurrentDeviceSettings();

    /** "Tavlin Recording.wav" in folder, or the first free of "Tavlin Recording(2).wav", (3) and so on. */
    static juce::File getRecordingFile (const juce::File& folder);

    /** The elapsed time of samples at rate Hz, "hh:mm:ss.mmm". */
    static juce::String formatElapsed (juce::int64 samples, double rate);

    bool isRecording() const noexcept { return recording; }
    const juce::String& getRecordingFilePath() const noexcept { return recordingFile; }

    // The panel's parts, open to the media window and to tests.
    std::unique_ptr<juce::AudioDeviceSelectorComponent> deviceSelector;
    std::unique_ptr<LiveAudioInputDisplayComp> firstInputStrip;
    std::unique_ptr<LiveAudioInputDisplayComp> secondInputStrip;
    std::unique_ptr<AudioRecorder> recorder;
    std::unique_ptr<juce::ComboBox> sourceBox;
    std::unique_ptr<juce::ComboBox> channelsBox;
    std::unique_ptr<juce::ComboBox> rateBox;
    std::unique_ptr<juce::TextButton> settingsButton;
    std::unique_ptr<juce::TextButton> doneButton;
    std::unique_ptr<juce::ComboBox> bitsBox;
    std::unique_ptr<juce::ImageButton> recordButton;
    std::unique_ptr<juce::Label> elapsedLabel;

private:
    void addDeviceCallbacks();
    void removeDeviceCallbacks();
    void startRecording();
    void stopRecording();
    static void report (const juce::String& text);

    juce::AudioDeviceManager& deviceManager;
    TavPreferences* preferences;
    RecordingStopped recordingStopped;
    /** The settings view's look: dark text on its white, the recorder's blue for what is chosen. The
        framework's default look draws light text, which vanished on that white.
    */
    juce::LookAndFeel_V4 settingsLook { juce::LookAndFeel_V4::getLightColourScheme() };
    bool recording = false;
    juce::String recordingFile;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RecorderComponent)
};
