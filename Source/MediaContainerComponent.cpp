#include "MediaContainerComponent.h"

#include "PlayerHost.h"
#include "ProcessingAVPlayer.h"
#include "TavAudioProcessor.h"

#include "media/FFmpegAudioFormat.h"

#include <cmath>

using namespace tavlin::media;

namespace
{
juce::AudioFormatManager& formatsFor (PlayerHost& host, std::unique_ptr<juce::AudioFormatManager>& own)
{
    if (auto* manager = host.getFormatManager())
        return *manager;

    own = std::make_unique<juce::AudioFormatManager>();
    FFmpegAudioFormat::registerFormats (*own);
    return *own;
}

double finiteOrZero (double value)
{
    return std::isfinite (value) ? value : 0.0;
}
} // namespace

MediaContainerComponent::MediaContainerComponent() : MediaContainerComponent (PlayerHost::get()) {}

MediaContainerComponent::MediaContainerComponent (PlayerHost& hostToUse) : host (hostToUse)
{
    setOpaque (false);

    if (ProcessingAVPlayer::getInstance() == nullptr)
    {
        ownedPlayer = std::make_unique<ProcessingAVPlayer> (host);
        ownedPlayer->setMCC (this);
    }

    thumbnail = std::make_unique<juce::AudioThumbnail> (512, formatsFor (host, ownFormats), thumbnailCache);
    thumbnail->clear();
    thumbnail->addChangeListener (this);
}

MediaContainerComponent::~MediaContainerComponent()
{
    thumbnail->removeChangeListener (this);
    ownedPlayer.reset(); // it lets go of the waveform's file through this view
}

MediaPlayer* MediaContainerComponent::getAVPlayer() const
{
    auto* p = ProcessingAVPlayer::getInstance();
    return p != nullptr ? p->getPlayer() : nullptr;
}

//==============================================================================
void MediaContainerComponent::drawText (juce::Graphics& g, const juce::String& text) const
{
    g.setColour (juce::Colours::white.withAlpha (0.3f));
    g.setFont (juce::Font());
    g.drawText (text, 0, getHeight() / 2 - 14, getWidth(), 36, juce::Justification::centred, true);
}

void MediaContainerComponent::paintOverChildren (juce::Graphics& g)
{
    const auto b = getLocalBounds();

    if (dragHighlight)
    {
        g.setColour (juce::Colour (0xff0000ff).withAlpha (0.7f));
        g.drawRect (b, 5);
    }

    auto* avPlayer = getAVPlayer();

    if (avPlayer == nullptr)
    {
        drawText (g, dropText);
        return;
    }

    if (videoVisible)
    {
        if (audioOnly)
            drawText (g, audioOnlyText);

        return;
    }

    g.setColour (juce::Colour (0xff206ee2));
    double d = getPlayableDuration();

    if (d <= 0.0)
        d = thumbnail->getTotalLength();

    // Nothing to draw yet, or nothing to draw against.
    if (!thumbnail->isFullyLoaded() || thumbnail->getNumChannels() == 0 || !(d > 0.0))
    {
        drawText (g, audioText);
        return;
    }

    const bool busy = !host.isIdle();

    if (busy)
        g.setColour (juce::Colour (0x80206ee2));

    thumbnail->drawChannels (g, b, 0.0, d, 1.0f);

    const auto bx = (float) b.getX(), by = (float) b.getY(), bw = (float) b.getWidth(), bh = (float) b.getHeight();
    const double t = finiteOrZero (avPlayer->getCurrentTime().seconds());

    g.setColour (juce::Colour (0x7040ff40));
    g.drawVerticalLine ((int) (bx + bw * t / d), by, bh);
    g.drawVerticalLine ((int) (bx + bw * t / d + 1.0), by, bh);

    auto* processor = host.getProcessor();

    if (processor != nullptr)
    {
        const auto& region = processor->getLearnRegion();
        const auto sampleRate = processor->getSampleRate();

        if (region.startSample != 0 && region.lengthSamples != 0 && sampleRate > 0.0)
        {
            g.setColour (juce::Colour (0xffff4500));
            g.drawVerticalLine ((int) (bx + bw * ((float) region.startSample / (float) sampleRate / d)), by, bh);
        }

        if (busy)
        {
            const double p = juce::jlimit (0.0, 1.0, finiteOrZero (processor->getProgress()));
            g.setColour (juce::Colour (0xff206ee2));
            thumbnail->drawChannels (g, b.withWidth ((int) (bw * p)), 0.0, d * p, 1.0f);
        }
    }
}

void MediaContainerComponent::resized()
{
    // The video layer follows the view, as its autoresizing would.
    for (auto* child : getChildren())
        child->setBounds (getLocalBounds());
}

//==============================================================================
void MediaContainerComponent::mouseDown (const juce::MouseEvent& event)
{
    if (releaseRunning || !host.isIdle())
        return;

    pressOnWaveform = false;

    if (!videoVisible)
        scrubOrMoveMarker (event, true);
}

void MediaContainerComponent::mouseDrag (const juce::MouseEvent& event)
{
    if (releaseRunning || videoVisible || !pressOnWaveform)
        return;

    scrubOrMoveMarker (event, false);
}

void MediaContainerComponent::scrubOrMoveMarker (const juce::MouseEvent& event, bool press)
{
    auto* processor = host.getProcessor();
    const double d = getPlayableDuration();
    const int w = getWidth();

    if (getAVPlayer() == nullptr || processor == nullptr || !(d > 0.0) || w <= 0)
        return;

    const double sampleRate = processor->getSampleRate();

    if (!(sampleRate > 0.0))
        return;

    const int x = event.getPosition().x;
    const double f = juce::jlimit (0.0, 1.0, (double) x / (double) w);
    auto& region = processor->getLearnRegion();

    if (press)
    {
        const double markerFraction = juce::jlimit (0.0, 1.0, (double) region.startSample / (d * sampleRate));
        const int markerX = (int) (w * markerFraction);
        scrubbing = std::abs (x - markerX) > markerGrabDistance;
        pressOnWaveform = true;
    }

    if (scrubbing)
        seekToFraction (f);
    else
    {
        // The whole selection stays inside the media.
        const auto total = (juce::int64) (d * sampleRate);
        const auto start = juce::jlimit<juce::int64> (0, juce::jmax<juce::int64> (0, total - learnLength),
                                                      (juce::int64) (f * d * sampleRate));
        region.startSample = start;
        region.lengthSamples = learnLength;
    }

    repaint();
}

void MediaContainerComponent::mouseUp (const juce::MouseEvent&)
{
    if (releaseRunning)
        return;

    const bool learn = pressOnWaveform && !scrubbing;
    pressOnWaveform = false;

    // The pause and the learn pass run the message loop: nothing else may take a mouse action meanwhile.
    releaseRunning = true;
    juce::Component::SafePointer<MediaContainerComponent> self (this);
    const bool wasModal = isCurrentlyModal (false);

    if (!wasModal)
        enterModalState (false);

    const bool wasPlaying = isPlaying();

    if (wasPlaying)
    {
        togglePlayPause();
        juce::MessageManager::getInstance()->runDispatchLoopUntil (500);
    }

    if (self != nullptr && learn)
        host.analyzeSelection();

    if (self == nullptr)
        return;

    if (wasPlaying)
        togglePlayPause();

    if (!wasModal)
        exitModalState (0);

    releaseRunning = false;
}

//==============================================================================
bool MediaContainerComponent::isInterestedInFileDrag (const juce::StringArray&)
{
    return true;
}

void MediaContainerComponent::fileDragEnter (const juce::StringArray&, int, int)
{
    dragHighlight = true;
    repaint();
}

void MediaContainerComponent::fileDragExit (const juce::StringArray&)
{
    dragHighlight = false;
    repaint();
}

void MediaContainerComponent::filesDropped (const juce::StringArray& files, int, int)
{
    dragHighlight = false;
    repaint();

    if (releaseRunning || !host.isIdle() || files.isEmpty())
        return;

    if (host.closeMediaDocument().getErrorMessage().isEmpty())
        host.openMediaFile (juce::File::getCurrentWorkingDirectory().getChildFile (files[0]), true);
}

void MediaContainerComponent::changeListenerCallback (juce::ChangeBroadcaster* source)
{
    if (source == thumbnail.get() && thumbnail->isFullyLoaded())
        repaint();
}

//==============================================================================
void MediaContainerComponent::setVideoVisible (bool shouldShowVideo)
{
    videoVisible = shouldShowVideo;

    if (auto* p = ProcessingAVPlayer::getInstance())
        if (auto* layer = p->getPlayerLayer())
            layer->setVisible (shouldShowVideo);

    repaint();
}

bool MediaContainerComponent::isPlaying() const
{
    auto* avPlayer = getAVPlayer();
    return avPlayer != nullptr && avPlayer->getRate() != 0.0f;
}

bool MediaContainerComponent::togglePlayPause()
{
    auto* avPlayer = getAVPlayer();

    if (avPlayer == nullptr)
        return false;

    if (avPlayer->getRate() != 0.0f)
    {
        avPlayer->pause();
        return true;
    }

    avPlayer->play();
    return false;
}

void MediaContainerComponent::rewindToStart()
{
    if (auto* avPlayer = getAVPlayer())
        avPlayer->seekToTime (MediaTime::zero(), MediaTime::zero(), MediaTime::zero());
}

void MediaContainerComponent::removeMedia()
{
    if (auto* p = ProcessingAVPlayer::getInstance())
        p->removeMovie();

    clearWaveform();
}

bool MediaContainerComponent::loadMedia (const juce::String& path, const MediaAsset* asset, bool showErrors)
{
    auto* p = ProcessingAVPlayer::getInstance();

    if (p == nullptr)
        return false;

    bool accepted;

    if (asset != nullptr)
        accepted = p->loadMovie ({}, asset, showErrors);
    else
    {
        currentFileURL = juce::File::getCurrentWorkingDirectory().getChildFile (path);
        accepted = p->loadMovie (currentFileURL, nullptr, showErrors);
    }

    if (accepted)
        sendActionMessage ("video");

    return accepted;
}

bool MediaContainerComponent::exportMedia (const juce::String& path, int format, int quality)
{
    auto* p = ProcessingAVPlayer::getInstance();
    return p != nullptr
           && p->exportAsset (juce::File::getCurrentWorkingDirectory().getChildFile (path), false, false, format,
                              quality);
}

double MediaContainerComponent::getPlayableDuration() const
{
    auto* p = ProcessingAVPlayer::getInstance();
    return p != nullptr ? p->playableDuration() : 0.0;
}

void MediaContainerComponent::seekToFraction (double fraction)
{
    if (auto* avPlayer = getAVPlayer())
    {
        const double f = juce::jlimit (0.0, 1.0, finiteOrZero (fraction));
        avPlayer->seekToTime (MediaTime::fromSeconds (getPlayableDuration() * f, 600), MediaTime::zero(),
                              MediaTime::zero());
    }
}

void MediaContainerComponent::skipForward()
{
    auto* avPlayer = getAVPlayer();

    if (avPlayer == nullptr)
        return;

    if (isPlaying())
    {
        const auto t = MediaTime::fromSeconds (getCurrentTime() + 3.0, 600);
        avPlayer->pause();
        avPlayer->seekToTime (t, MediaTime::zero(), MediaTime::zero());
        avPlayer->play();
    }
    else
        avPlayer->stepByCount (1);
}

void MediaContainerComponent::skipBackward()
{
    auto* avPlayer = getAVPlayer();

    if (avPlayer == nullptr)
        return;

    if (isPlaying())
    {
        const auto t = MediaTime::fromSeconds (juce::jmax (0.0, getCurrentTime() - 3.0), 600);
        avPlayer->pause();
        avPlayer->seekToTime (t, MediaTime::zero(), MediaTime::zero());
        avPlayer->play();
    }
    else
        avPlayer->stepByCount (-1);
}

double MediaContainerComponent::getCurrentTime() const
{
    auto* avPlayer = getAVPlayer();
    return avPlayer != nullptr ? finiteOrZero (avPlayer->getCurrentTime().seconds()) : 0.0;
}

double MediaContainerComponent::getPositionFraction() const
{
    const double d = getPlayableDuration();
    return getAVPlayer() != nullptr && d > 0.0 ? getCurrentTime() / d : 0.0;
}

double MediaContainerComponent::getPlaybackRate() const
{
    auto* avPlayer = getAVPlayer();
    return avPlayer != nullptr ? avPlayer->getRate() : 0.0;
}

void MediaContainerComponent::pauseForDrag()
{
    if (auto* avPlayer = getAVPlayer())
    {
        savedRate = avPlayer->getRate();
        avPlayer->setRate (0.0f);
    }
}

void MediaContainerComponent::resumeAfterDrag()
{
    if (auto* avPlayer = getAVPlayer())
        avPlayer->setRate (savedRate);
}

//==============================================================================
void MediaContainerComponent::addVideoLayer (juce::Component& layer)
{
    addAndMakeVisible (layer, 0);
    layer.setBounds (getLocalBounds());
}

void MediaContainerComponent::setWaveformSource (const juce::File& file)
{
    thumbnailCache.clear();
    thumbnail->setSource (std::make_unique<juce::FileInputSource> (file, false).release());
    repaint();
}

void MediaContainerComponent::clearWaveform()
{
    thumbnail->clear();
    thumbnailCache.clear();
    repaint();
}
