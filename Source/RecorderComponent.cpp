#include "RecorderComponent.h"

#include "AudioRecorder.h"
#include "LiveAudioInputDisplayComp.h"
#include "TavPreferences.h"

#include <TavlinResources.h>

namespace
{
constexpr int timerIntervalMs = 100;
constexpr double fallbackRate = 44100.0;

const juce::Colour popupBackground (0xff000000);
const juce::Colour popupText (0xffb0b0b0);
const juce::Colour popupButton (0xff0050d0);

const char* const recordingName = "Tavlin Recording";

void setUpPopup (juce::ComboBox& box, juce::ComboBox::Listener& listener)
{
    box.setEditableText (false);
    box.setJustificationType (juce::Justification::centredLeft);
    box.setTextWhenNothingSelected ({});
    box.setTextWhenNoChoicesAvailable ("(no choices)");
    box.setColour (juce::ComboBox::backgroundColourId, popupBackground);
    box.setColour (juce::ComboBox::textColourId, popupText);
    box.setColour (juce::ComboBox::buttonColourId, popupButton);
    box.addListener (&listener);
}

std::unique_ptr<juce::ComboBox> makePopup (const juce::String& tooltip)
{
    auto box = std::make_unique<juce::ComboBox> ("new combo box");
    box->setTooltip (tooltip);
    return box;
}

juce::Image embeddedImage (const char* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}

int channelsOf (const juce::ComboBox& box)
{
    return juce::jlimit (0, 1, box.getSelectedItemIndex()) + 1;
}

int bitsOf (const juce::ComboBox& box)
{
    return juce::jlimit (0, 2, box.getSelectedItemIndex()) * 8 + 16;
}
} // namespace

RecorderComponent::RecorderComponent (juce::AudioDeviceManager& deviceManagerToUse, TavPreferences* preferencesToUse,
                                      RecordingStopped onRecordingStopped)
    : deviceManager (deviceManagerToUse), preferences (preferencesToUse),
      recordingStopped (std::move (onRecordingStopped))
{
    sourceBox = makePopup ("Use this popup to change the recording input source");
    sourceBox->addItem ("Source", 1);

    channelsBox =
        makePopup ("Use this popup to choose whether the recording is one channel (mono) or two channels (stereo)");
    channelsBox->addItem ("Mono", 1);
    channelsBox->addItem ("Stereo", 2);

    rateBox = makePopup ({});
    rateBox->addItem ("Rate", 1);

    settingsButton = std::make_unique<juce::TextButton> ("new button");
    settingsButton->setButtonText ("Settings...");

    doneButton = std::make_unique<juce::TextButton> ("new button");
    doneButton->setTooltip ("Press this button when you are done changing the audio settings");
    doneButton->setButtonText ("Done");

    bitsBox = makePopup ("Use this popup to select the bit-depth of the recording (CD quality is 16-bits - higher "
                         "settings take more disk space)");
    bitsBox->addItem ("16-bits", 1);
    bitsBox->addItem ("24-bits", 2);
    bitsBox->addItem ("32-bits", 3);

    recordButton = std::make_unique<juce::ImageButton> ("new button");
    recordButton->setTooltip ("Press this button to start recording");
    {
        auto normal = embeddedImage (TavlinResources::record_normal_png, TavlinResources::record_normal_pngSize);
        auto down = embeddedImage (TavlinResources::record_down_png, TavlinResources::record_down_pngSize);
        recordButton->setImages (false, true, true, normal, 1.0f, juce::Colours::transparentBlack, normal, 0.9f,
                                 juce::Colour (0x007b3636), down, 1.0f, juce::Colours::transparentBlack, 0.0f);
    }

    elapsedLabel = std::make_unique<juce::Label> ("new label", "00:00:00.00");
    elapsedLabel->setFont (juce::Font (juce::Font::getDefaultSansSerifFontName(), 32.0f, juce::Font::plain));
    elapsedLabel->setJustificationType (juce::Justification::centredLeft);
    elapsedLabel->setEditable (false, false, false);
    elapsedLabel->setColour (juce::Label::textColourId, juce::Colour (0xffdcdcdc));
    elapsedLabel->setColour (juce::TextEditor::textColourId, juce::Colours::black);
    elapsedLabel->setColour (juce::TextEditor::backgroundColourId, juce::Colours::transparentBlack);

    for (auto* box : { sourceBox.get(), channelsBox.get(), rateBox.get() })
        addAndMakeVisible (*box);

    addAndMakeVisible (*settingsButton);
    addAndMakeVisible (*doneButton);
    addAndMakeVisible (*bitsBox);
    addAndMakeVisible (*recordButton);
    addAndMakeVisible (*elapsedLabel);

    for (auto* button :
         std::initializer_list<juce::Button*> { settingsButton.get(), doneButton.get(), recordButton.get() })
        button->addListener (this);

    recording = false;

    firstInputStrip = std::make_unique<LiveAudioInputDisplayComp> (true);
    secondInputStrip = std::make_unique<LiveAudioInputDisplayComp> (false);
    addAndMakeVisible (*firstInputStrip);
    addAndMakeVisible (*secondInputStrip);

    recorder = std::make_unique<AudioRecorder>();
    deviceManager.addAudioCallback (recorder.get());

    // The output device is chosen here too: it is the one the player plays through, and the media window
    // sends the user here when there is none.
    deviceSelector =
        std::make_unique<juce::AudioDeviceSelectorComponent> (deviceManager, 1, 2, 0, 2, false, false, true, false);
    settingsLook.getCurrentColourScheme().setUIColour (juce::LookAndFeel_V4::ColourScheme::defaultFill, popupButton);
    settingsLook.getCurrentColourScheme().setUIColour (juce::LookAndFeel_V4::ColourScheme::highlightedFill,
                                                       popupButton);
    settingsLook.setColourScheme (settingsLook.getCurrentColourScheme());
    deviceSelector->setLookAndFeel (&settingsLook);
    addAndMakeVisible (*deviceSelector);

    showSettings (false);

    deviceManager.addAudioCallback (firstInputStrip.get());
    deviceManager.addAudioCallback (secondInputStrip.get());

    recordButton->setClickingTogglesState (true);

    refreshDevicePopups (true);

    for (auto* box : { sourceBox.get(), channelsBox.get(), rateBox.get(), bitsBox.get() })
        setUpPopup (*box, *this);

    settingsButton->setColour (juce::TextButton::buttonColourId, juce::Colour (0xff202020));
    settingsButton->setColour (juce::TextButton::textColourOffId, juce::Colour (0xffb0b0b0));

    startTimer (timerIntervalMs);
    setSize (520, 200);
}

RecorderComponent::~RecorderComponent()
{
    stopTimer();
    removeDeviceCallbacks();
    deviceManager.removeAudioCallback (recorder.get());
    recorder.reset(); // a running recording is finished and closed
    deviceSelector->setLookAndFeel (nullptr);
    deviceSelector.reset();
    firstInputStrip.reset();
    secondInputStrip.reset();
}

void RecorderComponent::paint (juce::Graphics& g)
{
    // Shown again after resting off the screen: the elapsed time follows once more.
    if (!isTimerRunning())
        startTimer (timerIntervalMs);

    g.fillAll (doneButton->isVisible() ? juce::Colour (0xffffffff) : juce::Colour (0xff000000));
}

void RecorderComponent::resized()
{
    const auto w = getWidth();
    const auto h = getHeight();
    const auto s = (h - 65) / 2;

    sourceBox->setBounds (8, h - 38, 160, 24);
    channelsBox->setBounds (176, h - 38, 96, 24);
    rateBox->setBounds (280, h - 38, 96, 24);
    bitsBox->setBounds (384, h - 38, 96, 24);
    settingsButton->setBounds (488, h - 38, 96, 24);
    recordButton->setBounds (w - 50, h - 44, 38, 38);
    elapsedLabel->setBounds (5, h - 42, 300, 36);

    if (channelsBox->getSelectedItemIndex() == 0)
    {
        firstInputStrip->setBounds (5, 5, w - 10, 2 * s);
        secondInputStrip->setBounds (4, 5, w - 10, 1);
    }
    else
    {
        firstInputStrip->setBounds (5, 5, w - 10, s);
        secondInputStrip->setBounds (5, s + 5, w - 10, s);
    }

    doneButton->setBounds (w - 100, h - 40, 80, 24);
    deviceSelector->setBounds (0, h / 2 - 140, w, h / 2 + 140);
}

void RecorderComponent::timerCallback()
{
    // Nobody sees the elapsed time off the screen (the player shown instead, the window minimised).
    if (!isShowing())
    {
        stopTimer();
        return;
    }

    auto* device = deviceManager.getCurrentAudioDevice();
    const auto rate = device != nullptr ? device->getCurrentSampleRate() : fallbackRate;
    elapsedLabel->setText (formatElapsed (recorder->getSampleCount(), rate), juce::dontSendNotification);
}

void RecorderComponent::comboBoxChanged (juce::ComboBox* box)
{
    if (box == sourceBox.get())
    {
        // Clearing the list sends a notice too; with nothing chosen the input stays as it is.
        if (sourceBox->getSelectedItemIndex() < 0)
            return;

        removeDeviceCallbacks();
        deviceManager.removeAudioCallback (recorder.get());

        auto setup = deviceManager.getAudioDeviceSetup();
        setup.inputDeviceName = sourceBox->getText();
        deviceManager.setAudioDeviceSetup (setup, true); // a failure shows in the popups after the refresh

        addDeviceCallbacks();
        deviceManager.addAudioCallback (recorder.get());
        refreshDevicePopups (false);
    }
    else if (box == channelsBox.get())
    {
        resized();

        if (preferences != nullptr)
            preferences->setRecordChannels (channelsBox->getSelectedItemIndex() + 1);
    }
    else if (box == rateBox.get())
    {
        if (rateBox->getSelectedId() <= 0)
            return;

        auto setup = deviceManager.getAudioDeviceSetup();
        setup.sampleRate = rateBox->getSelectedId();
        deviceManager.setAudioDeviceSetup (setup, true);
    }
    else if (box == bitsBox.get())
    {
        if (preferences != nullptr)
            preferences->setRecordBits (bitsBox->getSelectedItemIndex() * 8 + 16);
    }
}

void RecorderComponent::buttonClicked (juce::Button* button)
{
    if (button == settingsButton.get())
    {
        showSettings (true);
    }
    else if (button == doneButton.get())
    {
        showSettings (false);
        selectCurrentDeviceSettings();
    }
    else if (button == recordButton.get())
    {
        if (!recording)
            startRecording();
        else
            stopRecording();
    }
}

void RecorderComponent::startRecording()
{
    auto file = getRecordingFile (juce::File::getSpecialLocation (juce::File::userDocumentsDirectory));
    auto result = recorder->startRecording (file, channelsOf (*channelsBox), bitsOf (*bitsBox));

    if (result.failed())
    {
        recordButton->setToggleState (false, juce::dontSendNotification);
        report ("The recording could not start.\n\n" + result.getErrorMessage());
        return;
    }

    recordingFile = file.getFullPathName();
    recording = true;
    showSettings (false);
}

void RecorderComponent::stopRecording()
{
    auto result = recorder->stop(); // the file is complete from here on

    recording = false;
    recordButton->setToggleState (false, juce::dontSendNotification);
    showSettings (false);

    if (recordingStopped != nullptr)
        recordingStopped (juce::File (recordingFile));

    if (result.failed())
        report ("The recording is incomplete.\n\n" + result.getErrorMessage());
}

void RecorderComponent::showSettings (bool settings)
{
    const auto r = recording;

    firstInputStrip->setVisible (!settings);
    secondInputStrip->setVisible (!settings);
    recordButton->setVisible (!settings);

    for (juce::Component* c :
         { (juce::Component*) sourceBox.get(), (juce::Component*) channelsBox.get(), (juce::Component*) rateBox.get(),
           (juce::Component*) bitsBox.get(), (juce::Component*) settingsButton.get() })
        c->setVisible (!settings && !r);

    elapsedLabel->setVisible (!settings && r);

    if (settings)
        doneButton->toFront (false);

    doneButton->setVisible (settings);
    deviceSelector->setVisible (settings);
    repaint();
}

void RecorderComponent::refreshDevicePopups (bool alsoSources)
{
    rateBox->clear (juce::sendNotificationAsync);

    if (auto* device = deviceManager.getCurrentAudioDevice())
    {
        for (auto rate : device->getAvailableSampleRates())
        {
            const auto id = juce::roundToInt (rate);
            rateBox->addItem (juce::String (id) + " Hz", id);
        }

        rateBox->setSelectedId (juce::roundToInt (device->getCurrentSampleRate()), juce::dontSendNotification);
    }

    if (alsoSources)
    {
        sourceBox->clear (juce::sendNotificationAsync);
        const auto& types = deviceManager.getAvailableDeviceTypes();

        if (!types.isEmpty() && types[0] != nullptr)
        {
            auto names = types[0]->getDeviceNames (true);

            for (int i = 0; i < names.size(); ++i)
                sourceBox->addItem (names[i], i + 1);
        }
    }

    const auto channels = preferences != nullptr ? preferences->getRecordChannels() : 1;
    const auto bits = preferences != nullptr ? preferences->getRecordBits() : 16;
    channelsBox->setSelectedItemIndex (channels - 1, juce::dontSendNotification);
    bitsBox->setSelectedItemIndex (bits / 8 - 2, juce::dontSendNotification);

    selectCurrentDeviceSettings();
}

void RecorderComponent::selectCurrentDeviceSettings()
{
    const auto setup = deviceManager.getAudioDeviceSetup();

    for (int i = 0; i < sourceBox->getNumItems(); ++i)
        if (sourceBox->getItemText (i) == setup.inputDeviceName)
            sourceBox->setSelectedItemIndex (i, juce::dontSendNotification);

    if (auto* device = deviceManager.getCurrentAudioDevice())
    {
        const auto rates = device->getAvailableSampleRates();

        for (int i = 0; i < rates.size(); ++i)
            if (juce::roundToInt (rates[i]) == (int) setup.sampleRate)
                rateBox->setSelectedItemIndex (i, juce::dontSendNotification);
    }
}

juce::File RecorderComponent::getRecordingFile (const juce::File& folder)
{
    return folder.getNonexistentChildFile (recordingName, ".wav", true);
}

juce::String RecorderComponent::formatElapsed (juce::int64 samples, double rate)
{
    const auto ms = (juce::int64) ((double) samples / rate * 1000.0);
    const auto hours = (int) (ms / 3600000);
    const auto minutes = (int) ((ms / 60000) % 60);
    const auto seconds = (int) ((ms / 1000) % 60);
    const auto millis = (int) (ms % 1000);
    return juce::String::formatted ("%02d:%02d:%02d.%03d", hours, minutes, seconds, millis);
}

void RecorderComponent::addDeviceCallbacks()
{
    deviceManager.addAudioCallback (firstInputStrip.get());
    deviceManager.addAudioCallback (secondInputStrip.get());
}

void RecorderComponent::removeDeviceCallbacks()
{
    deviceManager.removeAudioCallback (firstInputStrip.get());
    deviceManager.removeAudioCallback (secondInputStrip.get());
}

void RecorderComponent::report (const juce::String& text)
{
    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, "Recorder", text);
}
