// The recorder panel on a virtual display (the suite runs under xvfb-run), on a device manager whose only
// device type is a fake one driven by the test: popups, views and layout, the stored choices, a source
// change, a recording from the panel, a start without a device; then the media window of the application
// in this process switched to the recorder, recording and handing the file to the player.

#include "RecorderComponent.h"
#include "AudioRecorder.h"
#include "FakeAudioIODeviceType.h"
#include "LiveAudioInputDisplayComp.h"
#include "LocalHttpServer.h"
#include "MediaControlsComponent.h"
#include "MediaWindow.h"
#include "StandaloneTestMain.h"
#include "TavPreferences.h"
#include "TavlinApplication.h"
#include "TavlinDocument.h"
#include "TransportComponent.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <functional>

namespace
{
// Run as the program does: as a standalone application, whose X errors the framework handles itself.
const bool standalone = []
{
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return new TavlinApplication(); };
    return true;
}();

using Signal = std::vector<std::vector<float>>;

void pump (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

bool pumpUntil (const std::function<bool()>& done, int limitMs = 5000)
{
    for (int waited = 0; !done() && waited < limitMs; waited += 10)
        pump (10);

    return done();
}

/** Points HOME (and so the Documents folder), the settings and the temporary folders at a fresh folder. */
class ScratchHome
{
public:
    ScratchHome()
    {
        root = juce::File::createTempFile ("recorder");
        root.createDirectory();
        previousHome = juce::SystemStats::getEnvironmentVariable ("HOME", {});
        setenv ("HOME", root.getFullPathName().toRawUTF8(), 1);
        setenv ("XDG_CONFIG_HOME", root.getChildFile ("config").getFullPathName().toRawUTF8(), 1);
        root.getChildFile ("runtime").createDirectory();
        setenv ("XDG_RUNTIME_DIR", root.getChildFile ("runtime").getFullPathName().toRawUTF8(), 1);
    }

    ~ScratchHome()
    {
        setenv ("HOME", previousHome.toRawUTF8(), 1);
        root.deleteRecursively();
    }

    juce::File documents() const { return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory); }

    juce::File root;
    juce::String previousHome;
};

/** Feeds blocks of a 440 Hz tone at 0.5 through the running fake device, giving the writer thread room. */
void feedTone (juce::AudioDeviceManager& manager, int numSamples, const AudioRecorder* recorder)
{
    auto* device = dynamic_cast<FakeAudioIODevice*> (manager.getCurrentAudioDevice());
    ASSERT_NE (device, nullptr);

    const auto inputs = device->getActiveInputChannels().countNumberOfSetBits();
    Signal tone ((size_t) inputs, std::vector<float> (512));

    for (int done = 0; done < numSamples; done += 512)
    {
        for (auto& channel : tone)
            for (int i = 0; i < 512; ++i)
                channel[(size_t) i] =
                    0.5f
                    * (float) std::sin (2.0 * juce::MathConstants<double>::pi * 440.0 * (double) (done + i) / 48000.0);

        for (int waited = 0;
             recorder != nullptr && waited < 10000
             && recorder->getSampleCount() - recorder->getWrittenSampleCount() > AudioRecorder::fifoSamples / 2;
             ++waited)
            juce::Thread::sleep (1);

        device->process (tone, 0, std::min (512, numSamples - done));
    }
}

std::unique_ptr<juce::AudioFormatReader> readerFor (const juce::File& file)
{
    juce::WavAudioFormat wav;
    return std::unique_ptr<juce::AudioFormatReader> (wav.createReaderFor (file.createInputStream().release(), true));
}

/** Answers the next alert once it shows, keeping its title and text. */
struct AlertCatcher
{
    bool waitAndClose()
    {
        if (!pumpUntil ([] { return juce::Component::getCurrentlyModalComponent() != nullptr; }))
            return false;

        auto* modal = juce::Component::getCurrentlyModalComponent();
        title = modal->getName();
        text = modal->getDescription();
        modal->exitModalState (0);
        pump (50);
        return true;
    }

    juce::String title, text;
};

class RecorderPanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}), juce::String())
            << "these tests open windows: run them under xvfb-run";

        preferences = std::make_unique<TavPreferences> (home.root.getChildFile ("prefs"));
        manager.addAudioDeviceType (std::make_unique<FakeAudioIODeviceType>());
        ASSERT_EQ (manager.initialise (2, 2, nullptr, true), juce::String());
        ASSERT_NE (manager.getCurrentAudioDevice(), nullptr);
    }

    void TearDown() override
    {
        window.reset();
        panel.reset();
        manager.closeAudioDevice();
    }

    void makePanel()
    {
        panel = std::make_unique<RecorderComponent> (manager, preferences.get(), nullptr);
        window = std::make_unique<juce::DocumentWindow> ("Recorder", juce::Colours::black, 0);
        window->setContentNonOwned (panel.get(), false);
        panel->setSize (780, 490);
        window->setSize (780, 490);
        window->setVisible (true);
        pump (50);
    }

    static juce::StringArray itemsOf (juce::ComboBox& box)
    {
        juce::StringArray items;
        for (int i = 0; i < box.getNumItems(); ++i)
            items.add (box.getItemText (i));
        return items;
    }

    /** Which parts of the panel show. */
    juce::String visibleParts()
    {
        juce::StringArray parts;
        auto add = [&parts] (juce::Component& c, const char* name)
        {
            if (c.isVisible())
                parts.add (name);
        };
        add (*panel->firstInputStrip, "strip1");
        add (*panel->secondInputStrip, "strip2");
        add (*panel->sourceBox, "source");
        add (*panel->channelsBox, "channels");
        add (*panel->rateBox, "rate");
        add (*panel->bitsBox, "bits");
        add (*panel->settingsButton, "settings");
        add (*panel->recordButton, "record");
        add (*panel->elapsedLabel, "elapsed");
        add (*panel->doneButton, "done");
        add (*panel->deviceSelector, "selector");
        return parts.joinIntoString (" ");
    }

    juce::ScopedJuceInitialiser_GUI juce;
    ScratchHome home;
    std::unique_ptr<TavPreferences> preferences;
    juce::AudioDeviceManager manager;
    std::unique_ptr<RecorderComponent> panel;
    std::unique_ptr<juce::DocumentWindow> window;
};

TEST_F (RecorderPanelTest, FillsItsPopupsFromTheDeviceAndTheStoredChoices)
{
    preferences->setRecordChannels (2);
    preferences->setRecordBits (24);
    makePanel();

    EXPECT_EQ (itemsOf (*panel->sourceBox).joinIntoString ("|"), "Test Mic|Test Line");
    EXPECT_EQ (panel->sourceBox->getText(), "Test Mic");
    EXPECT_EQ (itemsOf (*panel->rateBox).joinIntoString ("|"), "44100 Hz|48000 Hz");
    EXPECT_EQ (panel->rateBox->getSelectedId(), 44100);
    EXPECT_EQ (itemsOf (*panel->channelsBox).joinIntoString ("|"), "Mono|Stereo");
    EXPECT_EQ (panel->channelsBox->getText(), "Stereo");
    EXPECT_EQ (itemsOf (*panel->bitsBox).joinIntoString ("|"), "16-bits|24-bits|32-bits");
    EXPECT_EQ (panel->bitsBox->getText(), "24-bits");
    EXPECT_EQ (panel->settingsButton->getButtonText(), "Settings...");
    EXPECT_EQ (panel->sourceBox->getTextWhenNoChoicesAvailable(), "(no choices)");
    EXPECT_EQ (panel->elapsedLabel->getText(), "00:00:00.00");
    EXPECT_TRUE (pumpUntil ([this] { return panel->elapsedLabel->getText() == "00:00:00.000"; }))
        << "the timer writes the time";

    EXPECT_EQ (visibleParts(), "strip1 strip2 source channels rate bits settings record");

    // The recorder and both strips hear the device.
    EXPECT_EQ (panel->recorder->getSampleRate(), 44100.0);
    feedTone (manager, 101 * 20, nullptr);
    EXPECT_GT (panel->firstInputStrip->getPoint (0), 0.0f);
    EXPECT_EQ (panel->secondInputStrip->getPoint (0), 0.0f) << "the microphone has one channel";

    // The choices are stored: bits as 16, 24, 32; channels as 1, 2.
    for (int index : { 0, 2, 1 })
    {
        panel->bitsBox->setSelectedItemIndex (index, juce::sendNotificationSync);
        EXPECT_EQ (preferences->getRecordBits(), index * 8 + 16);
    }

    panel->channelsBox->setSelectedItemIndex (0, juce::sendNotificationSync);
    EXPECT_EQ (preferences->getRecordChannels(), 1);
}

TEST_F (RecorderPanelTest, MonoShowsOneStripOverTheFullHeightAndStereoTwo)
{
    makePanel();
    const auto w = panel->getWidth();
    const auto s = (panel->getHeight() - 65) / 2;

    struct Case
    {
        int channelsIndex;
        juce::Rectangle<int> first, second;
    };

    const Case cases[] = {
        { 1, { 5, 5, w - 10, s }, { 5, s + 5, w - 10, s } },
        { 0, { 5, 5, w - 10, 2 * s }, { 4, 5, w - 10, 1 } },
    };

    for (const auto& c : cases)
    {
        panel->channelsBox->setSelectedItemIndex (c.channelsIndex, juce::sendNotificationSync);
        EXPECT_EQ (panel->firstInputStrip->getBounds(), c.first);
        EXPECT_EQ (panel->secondInputStrip->getBounds(), c.second);
        EXPECT_EQ (preferences->getRecordChannels(), c.channelsIndex + 1);
    }

    EXPECT_EQ (panel->recordButton->getBounds(), juce::Rectangle<int> (w - 50, panel->getHeight() - 44, 38, 38));
}

TEST_F (RecorderPanelTest, SettingsViewShowsTheSelectorAndDoneGoesBack)
{
    makePanel();
    panel->settingsButton->triggerClick();
    ASSERT_TRUE (pumpUntil ([this] { return panel->doneButton->isVisible(); }));
    EXPECT_EQ (visibleParts(), "done selector");

    auto picture = panel->createComponentSnapshot (panel->getLocalBounds());
    EXPECT_EQ (picture.getPixelAt (2, panel->getHeight() - 2), juce::Colours::white) << "white behind the selector";

    // Every text of the selector reads against that white: its labels, popups and buttons.
    const auto contrast = [] (juce::Colour a, juce::Colour b)
    {
        const auto l1 = a.getPerceivedBrightness(), l2 = b.getPerceivedBrightness();
        return (std::max (l1, l2) + 0.05f) / (std::min (l1, l2) + 0.05f);
    };
    int labels = 0;
    std::function<void (juce::Component&)> check = [&] (juce::Component& parent)
    {
        for (auto* child : parent.getChildren())
        {
            if (auto* label = dynamic_cast<juce::Label*> (child); label != nullptr && label->getText().isNotEmpty())
            {
                ++labels;
                EXPECT_GT (contrast (label->findColour (juce::Label::textColourId), juce::Colours::white), 4.5f)
                    << label->getText();
            }
            else if (auto* box = dynamic_cast<juce::ComboBox*> (child))
            {
                EXPECT_GT (contrast (box->findColour (juce::ComboBox::textColourId),
                                     box->findColour (juce::ComboBox::backgroundColourId)),
                           4.5f);
            }

            check (*child);
        }
    };
    check (*panel->deviceSelector);
    EXPECT_GT (labels, 0);

    panel->doneButton->triggerClick();
    ASSERT_TRUE (pumpUntil ([this] { return !panel->doneButton->isVisible(); }));
    EXPECT_EQ (visibleParts(), "strip1 strip2 source channels rate bits settings record");
}

TEST_F (RecorderPanelTest, ChangingTheSourceReopensTheDeviceAndKeepsTheList)
{
    makePanel();
    panel->sourceBox->setSelectedItemIndex (1, juce::sendNotificationSync);
    pump (50); // the list's own change notices

    auto* device = manager.getCurrentAudioDevice();
    ASSERT_NE (device, nullptr);
    EXPECT_EQ (manager.getAudioDeviceSetup().inputDeviceName, "Test Line");
    EXPECT_EQ (itemsOf (*panel->sourceBox).joinIntoString ("|"), "Test Mic|Test Line");
    EXPECT_EQ (panel->sourceBox->getText(), "Test Line");
    EXPECT_EQ (itemsOf (*panel->rateBox).joinIntoString ("|"), "48000 Hz|96000 Hz");
    EXPECT_EQ (panel->rateBox->getSelectedId(), 48000);

    // All three callbacks are back on the new device.
    EXPECT_EQ (panel->recorder->getSampleRate(), 48000.0);
    feedTone (manager, 101 * 20, nullptr);
    EXPECT_GT (panel->firstInputStrip->getPoint (0), 0.0f);
    EXPECT_GT (panel->secondInputStrip->getPoint (0), 0.0f);

    // The rate popup sets the device's rate.
    panel->rateBox->setSelectedId (96000, juce::sendNotificationSync);
    EXPECT_EQ (manager.getCurrentAudioDevice()->getCurrentSampleRate(), 96000.0);
}

TEST_F (RecorderPanelTest, RecordsToTheDocumentsFolderAndStartsEachTimeFromZero)
{
    preferences->setRecordChannels (1);
    preferences->setRecordBits (16);
    makePanel();

    for (auto* expectedName : { "Tavlin Recording.wav", "Tavlin Recording(2).wav" })
    {
        SCOPED_TRACE (expectedName);
        panel->recordButton->triggerClick();
        ASSERT_TRUE (pumpUntil ([this] { return panel->isRecording(); }));
        EXPECT_TRUE (panel->recordButton->getToggleState());
        EXPECT_EQ (visibleParts(), "strip1 strip2 record elapsed");

        feedTone (manager, 2 * 44100, panel->recorder.get());
        ASSERT_TRUE (pumpUntil ([this] { return panel->elapsedLabel->getText() == "00:00:02.000"; }))
            << panel->elapsedLabel->getText();

        panel->recordButton->triggerClick();
        ASSERT_TRUE (pumpUntil ([this] { return !panel->isRecording(); }));
        EXPECT_FALSE (panel->recordButton->getToggleState());
        EXPECT_EQ (visibleParts(), "strip1 strip2 source channels rate bits settings record");
        ASSERT_TRUE (pumpUntil ([this] { return panel->elapsedLabel->getText() == "00:00:00.000"; }));

        auto file = home.documents().getChildFile (expectedName);
        EXPECT_EQ (panel->getRecordingFilePath(), file.getFullPathName());
        auto reader = readerFor (file);
        ASSERT_NE (reader, nullptr);
        EXPECT_EQ (reader->numChannels, 1u);
        EXPECT_EQ (reader->bitsPerSample, 16u);
        EXPECT_EQ (reader->sampleRate, 44100.0);
        EXPECT_EQ (reader->lengthInSamples, 2 * 44100);
    }

    EXPECT_EQ (juce::Component::getCurrentlyModalComponent(), nullptr) << "nothing to report";
}

TEST_F (RecorderPanelTest, StartingWithoutADeviceSaysSoAndStaysIdle)
{
    makePanel();
    manager.closeAudioDevice();
    ASSERT_EQ (panel->recorder->getSampleRate(), 0.0);

    panel->recordButton->triggerClick();
    AlertCatcher alert;
    ASSERT_TRUE (alert.waitAndClose());
    EXPECT_EQ (alert.title, "Recorder");
    EXPECT_TRUE (alert.text.contains ("No audio input device")) << alert.text;

    EXPECT_FALSE (panel->isRecording());
    EXPECT_FALSE (panel->recordButton->getToggleState());
    EXPECT_EQ (visibleParts(), "strip1 strip2 source channels rate bits settings record");
    EXPECT_FALSE (home.documents().getChildFile ("Tavlin Recording.wav").exists());
}

//==============================================================================
class MediaWindowRecorderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE (standalone);
        ASSERT_NE (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}), juce::String())
            << "these tests open windows: run them under xvfb-run";

        ASSERT_TRUE (webProxy.isListening());
        webProxy.setReply ({ 503, "offline" });
        webProxy.routeWebRequestsHere(); // the update check's requests end here

        auto temp = home.root.getChildFile ("tmp");
        ASSERT_TRUE (temp.createDirectory());
        setenv ("TMPDIR", temp.getFullPathName().toRawUTF8(), 1);
        TavPreferences (home.root.getChildFile ("config")).setFirstLaunch (false);

        app = std::make_unique<TavlinApplication>();
        app->initialise ({});
        ASSERT_NE (app->getMediaWindow(), nullptr);
        ASSERT_TRUE (pumpUntil ([this] { return app->getMediaWindow()->getName() == "Media Player"; }));
    }

    void TearDown() override
    {
        if (app != nullptr)
            app->shutdown();

        app.reset();
    }

    juce::ScopedJuceInitialiser_GUI juce;
    tavlin::test::LocalHttpServer webProxy;
    ScratchHome home;
    std::unique_ptr<TavlinApplication> app;
};

TEST_F (MediaWindowRecorderTest, RecorderFaceShowsItsControlsAndLevelStripsAndHandsTheRecordingToThePlayer)
{
    auto& window = *app->getMediaWindow();
    auto& controls = window.getControls();
    auto& panel = *controls.recorderPanel;

    app->setPlayerMode (false);
    pump (50);
    EXPECT_EQ (window.getName(), "Recorder");
    EXPECT_FALSE (controls.transport->isVisible());
    ASSERT_TRUE (panel.isShowing());
    EXPECT_EQ (panel.getBounds(), controls.getLocalBounds());

    for (auto* part : std::initializer_list<juce::Component*> {
             panel.firstInputStrip.get(), panel.secondInputStrip.get(), panel.sourceBox.get(), panel.channelsBox.get(),
             panel.rateBox.get(), panel.bitsBox.get(), panel.settingsButton.get(), panel.recordButton.get() })
    {
        EXPECT_TRUE (part->isShowing()) << part->getName();
        EXPECT_FALSE (part->getBounds().isEmpty());
        EXPECT_TRUE (panel.getLocalBounds().contains (part->getBounds())) << part->getBounds().toString();
    }

    EXPECT_FALSE (panel.elapsedLabel->isShowing());
    EXPECT_FALSE (panel.deviceSelector->isShowing());

    // The strips draw on screen: black with the blue frame and centre line.
    auto picture = window.createComponentSnapshot (window.getLocalBounds());
    auto stripArea = panel.firstInputStrip->getScreenBounds() - window.getScreenPosition();
    EXPECT_EQ (picture.getPixelAt (stripArea.getX() + 20, stripArea.getY() + 10), juce::Colours::black);

    // A recording on the application's device manager, opened in the player when it stops.
    auto& manager = app->getDeviceManager();
    manager.addAudioDeviceType (std::make_unique<FakeAudioIODeviceType>());
    manager.setCurrentAudioDeviceType ("Test", true);
    ASSERT_NE (dynamic_cast<FakeAudioIODevice*> (manager.getCurrentAudioDevice()), nullptr);

    panel.recordButton->triggerClick();
    ASSERT_TRUE (pumpUntil ([&panel] { return panel.isRecording(); }));
    feedTone (manager, 44100, panel.recorder.get());

    panel.recordButton->triggerClick();
    ASSERT_TRUE (pumpUntil ([&window] { return window.getName() == "Tavlin Recording.wav"; })) << window.getName();
    EXPECT_TRUE (controls.playerMode);
    EXPECT_FALSE (panel.isRecording());
    EXPECT_EQ (app->getDocument()->openedFile, home.documents().getChildFile ("Tavlin Recording.wav"));

    auto reader = readerFor (app->getDocument()->openedFile);
    ASSERT_NE (reader, nullptr);
    EXPECT_EQ (reader->lengthInSamples, 44100);
}
} // namespace
