#include "MediaSession.h"

#include <cmath>

using namespace tavlin::media;

namespace
{
double finiteOrZero (double value)
{
    return std::isfinite (value) ? value : 0.0;
}
} // namespace

MediaSession::MediaSession (SessionHost& hostToUse, SessionProcessor& processor)
    : host (hostToUse), player (hostToUse, processor, listeners)
{
}

MediaSession::~MediaSession() = default;

//==============================================================================
juce::Result MediaSession::open (const juce::File& file, bool showErrors)
{
    player.setCurrentFile (file);

    if (player.loadMovie (file, nullptr, showErrors))
        return juce::Result::ok();

    return juce::Result::fail (player.getLastLoadError());
}

juce::Result MediaSession::open (const MediaAsset& asset, bool showErrors)
{
    if (player.loadMovie ({}, &asset, showErrors))
        return juce::Result::ok();

    return juce::Result::fail (player.getLastLoadError());
}

void MediaSession::close()
{
    player.removeMovie();
}

juce::Result MediaSession::save (const juce::File& destination, int format, int quality)
{
    return player.exportMedia (destination, format, quality);
}

//==============================================================================
bool MediaSession::isPlaying() const
{
    auto* avPlayer = getMediaPlayer();
    return avPlayer != nullptr && avPlayer->getRate() != 0.0f;
}

bool MediaSession::togglePlayPause()
{
    auto* avPlayer = getMediaPlayer();

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

void MediaSession::rewindToStart()
{
    if (auto* avPlayer = getMediaPlayer())
        avPlayer->seekToTime (MediaTime::zero(), MediaTime::zero(), MediaTime::zero());
}

void MediaSession::seekToFraction (double fraction)
{
    if (auto* avPlayer = getMediaPlayer())
    {
        const double f = juce::jlimit (0.0, 1.0, finiteOrZero (fraction));
        avPlayer->seekToTime (MediaTime::fromSeconds (getPlayableDuration() * f, 600), MediaTime::zero(),
                              MediaTime::zero());
    }
}

void MediaSession::skipForward()
{
    auto* avPlayer = getMediaPlayer();

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

void MediaSession::skipBackward()
{
    auto* avPlayer = getMediaPlayer();

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

double MediaSession::getCurrentTime() const
{
    auto* avPlayer = getMediaPlayer();
    return avPlayer != nullptr ? finiteOrZero (avPlayer->getCurrentTime().seconds()) : 0.0;
}

double MediaSession::getPlayableDuration() const
{
    return player.playableDuration();
}

double MediaSession::getPositionFraction() const
{
    const double d = getPlayableDuration();
    return getMediaPlayer() != nullptr && d > 0.0 ? getCurrentTime() / d : 0.0;
}

double MediaSession::getPlaybackRate() const
{
    auto* avPlayer = getMediaPlayer();
    return avPlayer != nullptr ? avPlayer->getRate() : 0.0;
}

void MediaSession::setPlaybackRate (float rate)
{
    if (auto* avPlayer = getMediaPlayer())
        avPlayer->setRate (rate);
}
