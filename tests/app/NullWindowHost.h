#pragma once

#include "WindowHost.h"

namespace tavlin::test
{
/** A window's host outside the application: every command does nothing, nothing is open or playing. */
struct NullWindowHost : public WindowHost
{
    CommandTable::State getCommandState() const override { return {}; }
    bool isIdle() const override { return true; }
    juce::Result closeMediaDocument() override { return juce::Result::ok(); }
    void analyzeSelection() override {}
    void openMediaInteractive() override {}
    juce::Result openMediaFile (const juce::File&, bool) override { return juce::Result::fail ("No application."); }
    void saveMedia (bool) override {}
    void runBatchProcessor() override {}
    void resetSettings() override {}
    void loadPreset() override {}
    void savePreset() override {}
    void togglePlayPause() override {}
    void rewindToStart() override {}
    void stepForward() override {}
    void stepBackward() override {}
    bool isPlaying() override { return false; }
    double getPlayerPosition() override { return 0.0; }
    bool isLooping() const override { return true; }
    void setLooping (bool) override {}
    void setPlayerMode (bool) override {}
    void showUserGuide (bool) override {}
    void checkForUpdates() override {}
    void showEditorPage (int) override {}
    void requestCloseMedia() override {}
    void requestQuit() override {}
};
} // namespace tavlin::test
