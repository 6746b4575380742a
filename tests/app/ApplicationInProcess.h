#pragma once

// The application in this test's process, started as a user starts it but in surroundings of the test's
// own: its temporary directory, settings and runtime folders under a scratch root, "First Launch" already
// passed, the update check's requests answered by a local server. Include in one file of a program, with
// StandaloneTestMain.h; the program runs on the virtual display (the suite runs under xvfb-run).

#include "LocalHttpServer.h"
#include "TavAudioProcessor.h"
#include "TavPreferences.h"
#include "TavlinApplication.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tavlin::test
{

// Run as the program does: as a standalone application, whose X errors the framework handles itself.
inline const bool standaloneApplication = []
{
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return new TavlinApplication(); };
    return true;
}();

class ApplicationInProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE (standaloneApplication);
        ASSERT_NE (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}), juce::String())
            << "these tests open windows: run them under xvfb-run";
        ASSERT_TRUE (webProxy.isListening());
        webProxy.setReply ({ 503, "offline" });
        webProxy.routeWebRequestsHere(); // the update check's requests end here

        root = juce::File::createTempFile ("app-in-process");
        ASSERT_TRUE (root.createDirectory());

        for (auto* name : { "tmp", "config", "runtime", "in", "out" })
            ASSERT_TRUE (root.getChildFile (name).createDirectory());

        setenv ("TMPDIR", root.getChildFile ("tmp").getFullPathName().toRawUTF8(), 1);
        setenv ("XDG_CONFIG_HOME", root.getChildFile ("config").getFullPathName().toRawUTF8(), 1);
        setenv ("XDG_RUNTIME_DIR", root.getChildFile ("runtime").getFullPathName().toRawUTF8(), 1);
        TavPreferences (root.getChildFile ("config")).setFirstLaunch (false);
    }

    void TearDown() override
    {
        if (app != nullptr)
            app->shutdown();

        app.reset();
        root.deleteRecursively();
    }

    void start()
    {
        app = std::make_unique<TavlinApplication>();
        app->initialise ({});
        ASSERT_NE (app->getProcessor(), nullptr);
    }

    /** The processor's state blob, as a batch run takes it. */
    juce::MemoryBlock state()
    {
        juce::MemoryBlock block (65536, true);
        app->getProcessor()->getStateInformation (block);
        return block;
    }

    juce::ScopedJuceInitialiser_GUI juce;
    LocalHttpServer webProxy;
    juce::File root;
    std::unique_ptr<TavlinApplication> app;
};

} // namespace tavlin::test
