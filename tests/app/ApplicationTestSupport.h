#pragma once

// The application in this process, on a virtual display, for the tests that drive it whole: a fresh settings
// folder and runtime folder for each test, the web proxy pointed at a local server, and helpers that answer
// the dialogs it shows. Include it in one file of a test program, after StandaloneTestMain.h.

#include "../platform/MediaFixtures.h"
#include "LocalHttpServer.h"
#include "MediaWindow.h"
#include "TavAudioProcessor.h"
#include "TavPreferences.h"
#include "TavlinApplication.h"
#include "TavlinDocument.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace tavlin::test
{
// Run as the program does: as a standalone application, whose X errors the framework handles itself.
inline const bool standalone = []
{
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return new TavlinApplication(); };
    return true;
}();

// Answers the next modal alert or dialog with a result once it shows, after checking it.
class DialogAnswerer : private juce::Timer
{
public:
    using Check = std::function<void (juce::Component& modal)>;
    static constexpr int leaveToCheck = -1000; // the check ends the modal state itself

    DialogAnswerer (int resultToGive, Check checkToRun = nullptr)
        : result (resultToGive), check (std::move (checkToRun))
    {
        startTimer (20);
    }

    ~DialogAnswerer() override { stopTimer(); }

    bool answered = false;
    juce::String title;

private:
    void timerCallback() override
    {
        auto* modal = juce::Component::getCurrentlyModalComponent();

        if (modal == nullptr)
            return;

        stopTimer();
        title = modal->getName();

        if (check != nullptr)
            check (*modal);

        answered = true;

        if (result != leaveToCheck)
            modal->exitModalState (result);
    }

    int result;
    Check check;
};

// Fails the test and closes any dialog left standing for seconds, so that a dialog nobody expected cannot
// hold the test forever.
class DialogWatchdog : private juce::Timer
{
public:
    DialogWatchdog() { startTimer (100); }
    ~DialogWatchdog() override { stopTimer(); }

private:
    void timerCallback() override
    {
        auto* modal = juce::Component::getCurrentlyModalComponent();

        if (modal != current)
        {
            current = modal;
            since = juce::Time::getMillisecondCounter();
        }
        else if (modal != nullptr && juce::Time::getMillisecondCounter() - since > 5000)
        {
            ADD_FAILURE() << "a dialog nobody answered: " << modal->getName();
            modal->exitModalState (0);
        }
    }

    juce::Component* current = nullptr;
    juce::uint32 since = 0;
};

inline juce::File processTemp()
{
    // One system temporary directory for the whole process: the program's private folder is found once.
    static const juce::File folder = []
    {
        auto f = juce::File::createTempFile ("tmpdir");
        f.createDirectory();
        setenv ("TMPDIR", f.getFullPathName().toRawUTF8(), 1);
        return f;
    }();
    return folder;
}

inline bool takesClicks (juce::Component& c)
{
    bool self = false, children = false;
    c.getInterceptsMouseClicks (self, children);
    return self;
}

inline juce::Rectangle<int> userArea()
{
    return juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;
}

class ApplicationTest : public ::testing::Test
{
protected:
    /** Makes two media files for the tests to open: a short movie with sound and a WAV file. */
    void SetUp() override
    {
        ASSERT_TRUE (standalone);
        ASSERT_NE (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}), juce::String())
            << "these tests open windows: run them under xvfb-run";
        processTemp();
        ASSERT_TRUE (webProxy.isListening());
        webProxy.setReply ({ 503, "offline" });
        webProxy.routeWebRequestsHere();
        root = juce::File::createTempFile ("app");
        ASSERT_TRUE (root.createDirectory());
        makeSettings (false);
        runtime = root.getChildFile ("runtime");
        ASSERT_TRUE (runtime.createDirectory());
        setenv ("XDG_RUNTIME_DIR", runtime.getFullPathName().toRawUTF8(), 1);

        clipA = root.getChildFile ("my clip.mov");
        clipB = root.getChildFile ("second.wav");
        // Real media: the player refuses what holds no sound.
        ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
                                              "sine=frequency=440:sample_rate=44100:duration=1 -c:v mpeg4 -c:a aac "
                                              "-shortest "
                                              + clipA.getFullPathName().quoted()));
        ASSERT_TRUE (tavlin::test::writeWav (clipB, 44100.0, 2, 44100, 16,
                                             [] (int64_t n, int ch)
                                             { return tavlin::test::sineSample (n, ch, 44100.0); }));
    }

    void TearDown() override
    {
        stop();
        root.deleteRecursively();
    }

    // A fresh settings folder; firstLaunch false stores "First Launch" = false ahead of the start.
    void makeSettings (bool firstLaunch)
    {
        config = root.getChildFile ("config" + juce::String (++settingsCount));
        ASSERT_TRUE (config.createDirectory());
        setenv ("XDG_CONFIG_HOME", config.getFullPathName().toRawUTF8(), 1);

        if (!firstLaunch)
        {
            TavPreferences preferences (config);
            preferences.setFirstLaunch (false);
        }
    }

    void start (const juce::String& commandLine = {})
    {
        app = std::make_unique<TavlinApplication>();
        app->initialise (commandLine);
    }

    void stop()
    {
        if (app != nullptr)
            app->shutdown();

        app.reset();
    }

    static void pump (int ms) { juce::MessageManager::getInstance()->runDispatchLoopUntil (ms); }

    static bool pumpUntil (const std::function<bool()>& done, int limitMs = 5000)
    {
        for (int waited = 0; !done() && waited < limitMs; waited += 10)
            pump (10);

        return done();
    }

    juce::String mediaTitle() { return app->getMediaWindow()->getName(); }
    TavlinDocument& document() { return *app->getDocument(); }

    void markChanged() { app->getProcessor()->sendSynchronousChangeMessage(); }

    juce::ScopedJuceInitialiser_GUI juce;
    tavlin::test::LocalHttpServer webProxy; // the update check's requests end here
    DialogWatchdog watchdog;
    juce::File root, config, runtime, clipA, clipB;
    int settingsCount = 0;
    std::unique_ptr<TavlinApplication> app;
};

} // namespace tavlin::test
