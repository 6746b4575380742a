#include "MediaContainerComponent.h"

#include "TavAudioProcessor.h"

#include "media/FFmpegAudioFormat.h"

#include <cmath>

using namespace tavlin::media;

namespace
{
juce::AudioFormatManager& formatsFor (SessionHost& host, std::unique_ptr<juce::AudioFormatManager>& own)
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

MediaContainerComponent::MediaContainerComponent (MediaSession& sessionToShow, TavAudioProcessor& processorToUse,
                                                  MediaViewHost& hostToUse)
    : session (sessionToShow), processor (processorToUse), host (hostToUse)
{
    setOpaque (false);

    thumbnail =
        std::make_unique<juce::AudioThumbnail> (512, formatsFor (session.getHost(), ownFormats), thumbnailCache);
    thumbnail->clear();
    thumbnail->addChangeListener (this);
    session.addListener (this);
}

MediaContainerComponent::~MediaContainerComponent()
{
    session.removeListener (this);
    thumbnail->removeChangeListener (this);
    playerReleased();
}

MediaPlayer* MediaContainerComponent::getAVPlayer() const
{
    return session.getMediaPlayer();
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

    const auto& region = processor.getLearnRegion();
    const auto sampleRate = processor.getSampleRate();

    if (region.startSample != 0 && region.lengthSamples != 0 && sampleRate > 0.0)
    {
        g.setColour (juce::Colour (0xffff4500));
        g.drawVerticalLine ((int) (bx + bw * ((float) region.startSample / (float) sampleRate / d)), by, bh);
    }

    if (busy)
    {
        const double p = juce::jlimit (0.0, 1.0, finiteOrZero (processor.getProgress()));
        g.setColour (juce::Colour (0xff206ee2));
        thumbnail->drawChannels (g, b.withWidth ((int) (bw * p)), 0.0, d * p, 1.0f);
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
    const double d = getPlayableDuration();
    const int w = getWidth();

    if (getAVPlayer() == nullptr || !(d > 0.0) || w <= 0)
        return;

    const double sampleRate = processor.getSampleRate();

    if (!(sampleRate > 0.0))
        return;

    const int x = event.getPosition().x;
    const double f = juce::jlimit (0.0, 1.0, (double) x / (double) w);
    auto& region = processor.getLearnRegion();

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

    if (videoLayer != nullptr)
        videoLayer->setVisible (shouldShowVideo);

    repaint();
}

bool MediaContainerComponent::isPlaying() const
{
    return session.isPlaying();
}

bool MediaContainerComponent::togglePlayPause()
{
    return session.togglePlayPause();
}

void MediaContainerComponent::rewindToStart()
{
    session.rewindToStart();
}

void MediaContainerComponent::removeMedia()
{
    session.close();
    clearWaveform();
}

bool MediaContainerComponent::loadMedia (const juce::String& path, const MediaAsset* asset, bool showErrors)
{
    if (asset != nullptr)
        return session.open (*asset, showErrors).wasOk();

    return session.open (juce::File::getCurrentWorkingDirectory().getChildFile (path), showErrors).wasOk();
}

bool MediaContainerComponent::exportMedia (const juce::String& path, int format, int quality)
{
    return session.save (juce::File::getCurrentWorkingDirectory().getChildFile (path), format, quality).wasOk();
}

double MediaContainerComponent::getPlayableDuration() const
{
    return session.getPlayableDuration();
}

void MediaContainerComponent::seekToFraction (double fraction)
{
    session.seekToFraction (fraction);
}

void MediaContainerComponent::skipForward()
{
    session.skipForward();
}

void MediaContainerComponent::skipBackward()
{
    session.skipBackward();
}

double MediaContainerComponent::getCurrentTime() const
{
    return session.getCurrentTime();
}

double MediaContainerComponent::getPositionFraction() const
{
    return session.getPositionFraction();
}

double MediaContainerComponent::getPlaybackRate() const
{
    return session.getPlaybackRate();
}

void MediaContainerComponent::pauseForDrag()
{
    if (getAVPlayer() != nullptr)
    {
        savedRate = (float) session.getPlaybackRate();
        session.setPlaybackRate (0.0f);
    }
}

void MediaContainerComponent::resumeAfterDrag()
{
    session.setPlaybackRate (savedRate);
}

//==============================================================================
void MediaContainerComponent::mediaOpened()
{
    sendActionMessage ("video");
}

void MediaContainerComponent::preferredPictureSizeChanged (bool hasPicture, int width, int height)
{
    setAudioOnly (!hasPicture);

    if (hasPicture)
    {
        if (auto* player = getAVPlayer())
        {
            videoLayer = std::make_unique<VideoFrameComponent> (*player);
            videoLayer->setInterceptsMouseClicks (false, false);
            addVideoLayer (*videoLayer);
        }

        setVideoVisible (true);
    }
    else
    {
        setVideoVisible (false);
    }

    windowSizer.sizeFor (dynamic_cast<juce::ResizableWindow*> (getTopLevelComponent()), hasPicture, width, height);
}

void MediaContainerComponent::playbackTimeChanged()
{
    sendActionMessage ("time");
}

void MediaContainerComponent::playbackRateChanged()
{
    sendActionMessage ("time");
}

void MediaContainerComponent::waveformReady (const juce::File& file)
{
    setWaveformSource (file);
}

void MediaContainerComponent::waveformReleased()
{
    clearWaveform();
}

void MediaContainerComponent::playerReleased()
{
    if (videoLayer != nullptr)
    {
        removeChildComponent (videoLayer.get());
        videoLayer.reset();
    }
}

void MediaContainerComponent::mediaRemoved()
{
    windowSizer.restore();
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
