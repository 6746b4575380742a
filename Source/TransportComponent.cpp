#include "TransportComponent.h"

#include "AnimationComponent.h"
#include "GradNSVComponent.h"
#include "MediaContainerComponent.h"
#include "MediaSession.h"
#include "ShareNSVComponent.h"
#include "TavAudioProcessor.h"
#include "TavlinResources.h"

#include <cmath>

namespace
{
constexpr double sliderRange = 1.0e8;

juce::Image loadImage (const char* data, int size)
{
    return juce::ImageFileFormat::loadFrom (data, (size_t) size);
}

std::unique_ptr<juce::ImageButton> makeImageButton (const juce::String& tooltip, const juce::Image& image, float normal,
                                                    float over, float down,
                                                    juce::Colour overlayWhenDown = juce::Colours::transparentBlack)
{
    auto button = std::make_unique<juce::ImageButton> ("new button");
    button->setTooltip (TRANS (tooltip));
    button->setImages (false, true, true, image, normal, juce::Colours::transparentBlack, image, over,
                       juce::Colours::transparentBlack, image, down, overlayWhenDown, 0.0f);
    return button;
}
} // namespace

TransportComponent::TransportComponent (MediaSession& sessionToPlay, TavAudioProcessor& p, MediaViewHost& host)
    : session (sessionToPlay)
{
    const auto selected = juce::Colour (0xff336afc);

    playButton = makeImageButton ("Play/Pause the media", {}, 1.0f, 0.7f, 1.0f);
    addAndMakeVisible (*playButton);
    playButton->addListener (this);

    const auto forwardGlyph = loadImage (TavlinResources::forward_glyph_png, TavlinResources::forward_glyph_pngSize);
    forwardButton = makeImageButton ("Fast Forward by 3 seconds", forwardGlyph, 0.85f, 1.0f, 1.0f);
    addAndMakeVisible (*forwardButton);
    forwardButton->addListener (this);

    const auto rewindGlyph = loadImage (TavlinResources::rewind_glyph_png, TavlinResources::rewind_glyph_pngSize);
    rewindButton = makeImageButton ("Rewind by 3 seconds", rewindGlyph, 0.85f, 1.0f, 1.0f);
    addAndMakeVisible (*rewindButton);
    rewindButton->addListener (this);

    positionSlider = std::make_unique<juce::Slider> ("new slider");
    positionSlider->setTooltip (TRANS ("Move this scrollbar to adjust the playback position in your media file."));
    positionSlider->setRange (0.0, sliderRange, 0.0);
    positionSlider->setSliderStyle (juce::Slider::LinearHorizontal);
    positionSlider->setTextBoxStyle (juce::Slider::NoTextBox, false, 80, 20);
    positionSlider->setColour (juce::Slider::trackColourId, juce::Colour (0xff3e4245));
    positionSlider->setColour (juce::Slider::thumbColourId, juce::Colour (0xff202020));
    addAndMakeVisible (*positionSlider);
    positionSlider->addListener (this);

    timeLabel = std::make_unique<juce::Label> ("new label", TRANS (initialTimeText));
    timeLabel->setFont (juce::Font (12.0f, juce::Font::plain));
    timeLabel->setJustificationType (juce::Justification::centredLeft);
    timeLabel->setEditable (false, false, false);
    timeLabel->setColour (juce::Label::textColourId, juce::Colour (0xffbebebe));
    timeLabel->setColour (juce::TextEditor::textColourId, juce::Colours::black);
    timeLabel->setColour (juce::TextEditor::backgroundColourId, juce::Colour (0x00000000));
    addAndMakeVisible (*timeLabel);

    const auto power = loadImage (TavlinResources::power_symbol_png, TavlinResources::power_symbol_pngSize);
    bypassButton = makeImageButton ("Bypass - this button turns all  processing on or off.  This is useful for "
                                    "before/after comparisons of your settings.",
                                    power, 0.7f, 1.0f, 1.0f, selected);
    addAndMakeVisible (*bypassButton);
    bypassButton->addListener (this);

    const auto film = loadImage (TavlinResources::film_strip_png, TavlinResources::film_strip_pngSize);
    videoButton =
        makeImageButton ("Toggle between video or audio waveform displays.", film, 0.7f, 1.0f, 1.0f, selected);
    addAndMakeVisible (*videoButton);
    videoButton->addListener (this);

    animation = std::make_unique<AnimationComponent>();
    addAndMakeVisible (*animation);
    mediaView = std::make_unique<MediaContainerComponent> (session, p, host);
    addAndMakeVisible (*mediaView);
    mediaView->addActionListener (this);
    playGlyph = std::make_unique<juce::ImageComponent> (juce::String());
    playGlyph->setInterceptsMouseClicks (false, false);
    addAndMakeVisible (*playGlyph, 0);
    gradientStrip = std::make_unique<GradNSVComponent>();
    addAndMakeVisible (*gradientStrip, 0);
    shareButton = std::make_unique<ShareNSVComponent> (session);
    addAndMakeVisible (*shareButton);

    positionSlider->setColour (juce::Slider::trackColourId, juce::Colour (0xff303030));
    positionSlider->setColour (juce::Slider::thumbColourId, juce::Colour (0xff202020));

    setSize (420, 200);
    setLookAndFeel (&darkLookAndFeel);

    glyphState = -1;
    updatePlayPauseGlyph();

    processor = &p;
    processor->addChangeListener (this);

    for (juce::Component* c : { (juce::Component*) playButton.get(), (juce::Component*) rewindButton.get(),
                                (juce::Component*) forwardButton.get(), (juce::Component*) positionSlider.get(),
                                (juce::Component*) bypassButton.get(), (juce::Component*) videoButton.get() })
        c->setWantsKeyboardFocus (false);

    bypassButton->setClickingTogglesState (true);
    videoButton->setClickingTogglesState (true);

    changeListenerCallback (nullptr);
    session.addListener (this);
}

TransportComponent::~TransportComponent()
{
    session.removeListener (this);
    stopTimer();
    processor->removeChangeListener (this);
    mediaView->removeActionListener (this);

    playButton.reset();
    forwardButton.reset();
    rewindButton.reset();
    positionSlider.reset();
    timeLabel.reset();
    bypassButton.reset();
    videoButton.reset();
    mediaView.reset(); // and with it the player
    playGlyph.reset();
    gradientStrip.reset();
    shareButton.reset();
    animation.reset();

    setLookAndFeel (nullptr);
}

//==============================================================================
void TransportComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::black);
}

void TransportComponent::resized()
{
    const int w = getWidth(), h = getHeight();

    mediaView->setBounds (0, 0, w, h - 50);
    animation->setBounds (5, 5, w - 10, h - 60);
    gradientStrip->setBounds (0, h - 50, w, 50);
    bypassButton->setBounds (10, h - 38, 26, 26);
    positionSlider->setBounds (46, h - 38, w - 340, 24);
    timeLabel->setBounds (w - 284, h - 38, 80, 24);
    videoButton->setBounds (w - 200, h - 39, 26, 26);
    rewindButton->setBounds (w - 166, h - 40, 28, 28);
    playButton->setBounds (w - 131, h - 46, 42, 42);
    playGlyph->setBounds (playButton->getBounds());
    forwardButton->setBounds (w - 82, h - 40, 28, 28);
    shareButton->setBounds (w - 50, h - 36, 40, 24);
}

void TransportComponent::visibilityChanged()
{
    timeLabel->setText (initialTimeText, juce::dontSendNotification);
    positionSlider->setValue (0.0, juce::dontSendNotification);
}

//==============================================================================
void TransportComponent::buttonClicked (juce::Button* button)
{
    if (button == playButton.get())
        mediaView->togglePlayPause();
    else if (button == forwardButton.get())
        mediaView->skipForward();
    else if (button == rewindButton.get())
        mediaView->skipBackward();
    else if (button == bypassButton.get())
        // The switch on means the processing is heard.
        processor->setParameterNotifyingHost (TavAudioProcessor::bypassParameter,
                                              bypassButton->getToggleState() ? 0.0f : 1.0f);
    else if (button == videoButton.get())
        mediaView->setVideoVisible (videoButton->getToggleState());
}

void TransportComponent::sliderValueChanged (juce::Slider* slider)
{
    if (slider == positionSlider.get())
        mediaView->seekToFraction (positionSlider->getValue() / sliderRange);
}

void TransportComponent::sliderDragStarted (juce::Slider* slider)
{
    if (slider == positionSlider.get())
        mediaView->pauseForDrag();
}

void TransportComponent::sliderDragEnded (juce::Slider* slider)
{
    if (slider == positionSlider.get())
        mediaView->resumeAfterDrag();
}

void TransportComponent::changeListenerCallback (juce::ChangeBroadcaster*)
{
    bypassButton->setToggleState (!processor->isBypassed(), juce::dontSendNotification);
    videoButton->setToggleState (mediaView->isVideoVisible(), juce::dontSendNotification);
}

void TransportComponent::actionListenerCallback (const juce::String& message)
{
    if (message == "time")
    {
        const auto milliseconds = (juce::int64) (mediaView->getCurrentTime() * 1000.0);
        timeLabel->setText (formatTimeMs (milliseconds), juce::dontSendNotification);
        positionSlider->setValue (mediaView->getPositionFraction() * sliderRange, juce::dontSendNotification);
        updatePlayPauseGlyph();
        mediaView->repaint();
    }
    else if (message == "video")
    {
        animation->setActive (false);
        changeListenerCallback (nullptr);
    }
}

void TransportComponent::timerCallback()
{
    stopTimer();
    animation->startComposition (animationName);
    animation->resized();
}

void TransportComponent::updatePlayPauseGlyph()
{
    const bool playing = mediaView->getPlaybackRate() != 0.0;
    const int wanted = playing ? 1 : 0;

    if (glyphState != wanted)
    {
        playGlyph->setImage (playing
                                 ? loadImage (TavlinResources::pause_glyph_png, TavlinResources::pause_glyph_pngSize)
                                 : loadImage (TavlinResources::play_glyph_png, TavlinResources::play_glyph_pngSize));
        ++glyphLoads;
    }

    glyphState = wanted;
}

juce::String TransportComponent::formatTimeMs (juce::int64 milliseconds)
{
    const double m = (double) milliseconds;
    const auto hours = (long) std::floor (m / 3600000.0);
    const auto minutes = (long) std::floor ((m - hours * 3600000.0) / 60000.0);
    const auto seconds = (long) std::floor ((m - hours * 3600000.0 - minutes * 60000.0) / 1000.0);
    const auto rest = (long) (m - seconds * 1000.0 - minutes * 60000.0 - hours * 3600000.0);
    return juce::String::formatted ("%02ld:%02ld:%02ld.%03ld", hours, minutes, seconds, rest);
}

//==============================================================================
bool TransportComponent::loadMedia (const juce::String& path, const tavlin::media::MediaAsset* asset, bool showErrors)
{
    if (path.isNotEmpty())
        mediaLoaded = mediaView->loadMedia (path, asset, showErrors);
    else
    {
        mediaLoaded = false;
        mediaView->removeMedia();
        animation->setActive (true);
    }

    return mediaLoaded;
}

bool TransportComponent::exportMedia (const juce::String& path, int formatIndex, int qualityIndex)
{
    return mediaView->exportMedia (path, formatIndex, qualityIndex);
}

bool TransportComponent::togglePlayPause()
{
    return mediaView->togglePlayPause();
}

void TransportComponent::rewindToStart()
{
    mediaView->rewindToStart();
}

void TransportComponent::stepForward()
{
    mediaView->skipForward();
}

void TransportComponent::stepBackward()
{
    mediaView->skipBackward();
}

bool TransportComponent::isPlaying() const
{
    return mediaView->isPlaying();
}

double TransportComponent::getCurrentTime() const
{
    return mediaView->getCurrentTime();
}

void TransportComponent::setLooping (bool) {}

void TransportComponent::startAnimation (const juce::String& name)
{
    animationName = name;
    startTimer (50);
}

void TransportComponent::setAnimationVisible (bool shouldShow)
{
    animation->setActive (shouldShow);
}

//==============================================================================
void TransportComponent::mediaOpened()
{
    mediaLoaded = true;
}

void TransportComponent::mediaRefused (const juce::String&)
{
    mediaLoaded = false;
}

void TransportComponent::mediaRemoved()
{
    mediaLoaded = false;
    animation->setActive (true);
}
