#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class TavAudioProcessor;

/** The player face of the media window: the transport operations the document and the media commands use.

    For now it holds the loaded file's name and answers the transport operations without playing; the
    media view, the player, the controls and the waiting animation come with the transport bar itself.
*/
class TransportComponent : public juce::Component
{
public:
    explicit TransportComponent (TavAudioProcessor& processor);
    ~TransportComponent() override;

    void paint (juce::Graphics&) override;

    /** A non-empty path loads that file (here: any existing file counts as loaded); an empty one removes the
        media. Returns mediaLoaded.
    */
    bool loadMedia (const juce::String& path, bool showErrors);

    /** Writes the processed media; false until export exists. */
    bool exportMedia (const juce::String& path, int formatIndex, int qualityIndex);

    /** True when it paused. */
    bool togglePlayPause();
    void rewindToStart();
    void stepForward();
    void stepBackward();
    bool isPlaying() const;
    double getCurrentTime() const;
    void setLooping (bool shouldLoop);
    void startAnimation (const juce::String& name);
    void setAnimationVisible (bool shouldShow);

    bool mediaLoaded = false;

private:
    TavAudioProcessor& processor;
    juce::String mediaPath;
    juce::String animationName;
    bool animationVisible = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TransportComponent)
};
