#include "MediaAsset.h"

#include <juce_events/juce_events.h>

#include <atomic>

namespace tavlin::media
{

namespace
{
/** The workers that read assets in the background, shared by all assets while any exists. */
struct AssetLoaderPool
{
    juce::ThreadPool pool { 2 };
};

bool isKnownKey (const juce::String& key)
{
    return key == MediaAsset::keyPlayable || key == MediaAsset::keyProtectedContent || key == MediaAsset::keyTracks
           || key == MediaAsset::keyDuration;
}
} // namespace

struct MediaAsset::Shared
{
    MediaAsset* owner = nullptr;
    std::atomic<int> generation { 0 };
    juce::SharedResourcePointer<AssetLoaderPool> loaders;
};

MediaAsset::MediaAsset (const juce::File& fileToOpen)
    : file (fileToOpen), probe (MediaProbe::probe (fileToOpen)), shared (std::make_shared<Shared>())
{
    shared->owner = this;
}

MediaAsset::~MediaAsset()
{
    // Completions still queued see the owner gone and do nothing.
    shared->owner = nullptr;
    ++shared->generation;
}

std::unique_ptr<MediaAsset> MediaAsset::copy() const
{
    return std::make_unique<MediaAsset> (file);
}

void MediaAsset::reopen (const juce::File& newFile)
{
    ++shared->generation;
    file = newFile;
    probe = MediaProbe::probe (newFile);
    keyStates.clear();
    loadError.clear();
}

juce::Array<MediaTrack> MediaAsset::getTracksWithMediaType (MediaType type) const
{
    juce::Array<MediaTrack> result;

    for (const auto& track : probe.tracks)
        if (track.mediaType == type)
            result.add (track);

    return result;
}

bool MediaAsset::hasTracksWithMediaType (MediaType type) const
{
    return getFirstTrack (type) != nullptr;
}

const MediaTrack* MediaAsset::getFirstTrack (MediaType type) const
{
    for (const auto& track : probe.tracks)
        if (track.mediaType == type)
            return &track;

    return nullptr;
}

void MediaAsset::loadValuesAsynchronously (const juce::StringArray& keys, std::function<void()> completion)
{
    for (const auto& key : keys)
        if (keyStates[key] != (int) KeyStatus::loaded)
            keyStates.set (key, (int) KeyStatus::loading);

    const int generation = shared->generation.load();
    std::weak_ptr<Shared> weak = shared;
    const juce::File target = file;

    shared->loaders->pool.addJob (
        [weak, generation, target, keys, completion = std::move (completion)]() mutable
        {
            auto loaded = std::make_shared<MediaProbe> (MediaProbe::probe (target));

            juce::MessageManager::callAsync (
                [weak, generation, keys, loaded, completion = std::move (completion)]
                {
                    auto state = weak.lock();

                    if (state == nullptr || state->owner == nullptr || state->generation.load() != generation)
                        return;

                    auto& asset = *state->owner;
                    asset.probe = *loaded;
                    asset.loadError = loaded->result.getErrorMessage();

                    for (const auto& key : keys)
                        asset.keyStates.set (key, loaded->result.wasOk() && isKnownKey (key) ? (int) KeyStatus::loaded
                                                                                             : (int) KeyStatus::failed);

                    if (completion != nullptr)
                        completion();
                });
        });
}

MediaAsset::KeyStatus MediaAsset::statusOfValue (const juce::String& key, juce::String* error) const
{
    if (!keyStates.contains (key))
        return KeyStatus::unknown;

    const auto status = (KeyStatus) keyStates[key];

    if (status == KeyStatus::failed && error != nullptr)
        *error = isKnownKey (key) ? loadError : "Unknown key \"" + key + "\".";

    return status;
}

} // namespace tavlin::media
