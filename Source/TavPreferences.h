#pragma once

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_data_structures/juce_data_structures.h>

#include <memory>

/** The application's per-user settings, kept in "Tavlin 5.prefs" in the user's settings folder.

    Values are read when the store is created and written back 3000 ms after the latest change and when
    the store is destroyed. A missing or unreadable file behaves as an empty one. Message thread only.
*/
class TavPreferences
{
public:
    /** Uses the user's settings folder (see getDefaultFolder). */
    TavPreferences();

    /** Keeps the file in the given folder instead; the folder is created when the file is first written. */
    explicit TavPreferences (const juce::File& folder);

    ~TavPreferences();

    TavPreferences (const TavPreferences&) = delete;
    TavPreferences& operator= (const TavPreferences&) = delete;

    /** $XDG_CONFIG_HOME when it holds an absolute path, else ~/.config. */
    static juce::File getDefaultFolder();

    /** The settings file, or an empty File when the store has none. */
    juce::File getFile() const;

    void setRecordChannels (int channels);
    /** 1 or 2; anything else stored reads as the default 1. */
    int getRecordChannels() const;

    void setRecordBits (int bits);
    /** 16, 24 or 32; anything else stored reads as the default 16. */
    int getRecordBits() const;

    void setHelpTips (bool shouldShow);
    bool getHelpTips() const;

    void setAnalyze (bool shouldAnalyze);
    bool getAnalyze() const;

    void setFirstLaunch (bool isFirst);
    bool getFirstLaunch() const;

    /** Stores the device manager's state; when it has none, the stored value is kept. */
    void setAudioConfiguration (juce::AudioDeviceManager& deviceManager);

    /** The stored device state, or null when there is none or it does not parse. */
    std::unique_ptr<juce::XmlElement> getAudioConfiguration() const;

private:
    int getChoice (const char* key, std::initializer_list<int> allowed, int fallback) const;
    bool getFlag (const char* key) const;

    std::unique_ptr<juce::ApplicationProperties> properties;
    juce::PropertiesFile* settings = nullptr;
};
