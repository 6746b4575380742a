#pragma once

#include "MediaProbe.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <memory>

namespace tavlin::media
{

/**
    A media file and what it holds.

    The tracks, duration and flags are read when the asset is made (or re-opened on another file), so they can
    be asked at once. loadValuesAsynchronously reads them again on a worker thread and calls its completion on
    the message thread; a completion that belongs to an earlier file of this asset, or to an asset that has
    since been destroyed, is dropped.
*/
class MediaAsset
{
public:
    /** The state of one loadable value. */
    enum class KeyStatus
    {
        unknown = 0,
        loading = 1,
        loaded = 2,
        failed = 3,
        cancelled = 4
    };

    static inline const juce::String keyPlayable { "playable" };
    static inline const juce::String keyProtectedContent { "hasProtectedContent" };
    static inline const juce::String keyTracks { "tracks" };
    static inline const juce::String keyDuration { "duration" };

    explicit MediaAsset (const juce::File& file);
    ~MediaAsset();

    static std::unique_ptr<MediaAsset> create (const juce::File& file) { return std::make_unique<MediaAsset> (file); }

    /** A new asset on the same file with the same values. */
    std::unique_ptr<MediaAsset> copy() const;

    /** Points this asset at another file and reads it; pending completions for the old file are dropped. */
    void reopen (const juce::File& newFile);

    const juce::File& getFile() const { return file; }

    /** Whether the file could be read; the failure text says why not. */
    const juce::Result& getResult() const { return probe.result; }

    const juce::Array<MediaTrack>& getTracks() const { return probe.tracks; }
    juce::Array<MediaTrack> getTracksWithMediaType (MediaType type) const;
    bool hasTracksWithMediaType (MediaType type) const;

    /** The first track of a type, or null. */
    const MediaTrack* getFirstTrack (MediaType type) const;

    MediaTime getDuration() const { return probe.duration; }
    bool isPlayable() const { return probe.result.wasOk() && probe.playable; }
    bool hasProtectedContent() const { return probe.protectedContent; }

    /** Loads the named values on a worker thread; completion runs on the message thread once all are settled. */
    void loadValuesAsynchronously (const juce::StringArray& keys, std::function<void()> completion);

    /** The state of a value; a failed one sets error to its text when error is given. */
    KeyStatus statusOfValue (const juce::String& key, juce::String* error = nullptr) const;

private:
    struct Shared;

    juce::File file;
    MediaProbe probe;
    std::shared_ptr<Shared> shared;
    juce::HashMap<juce::String, int> keyStates;
    juce::String loadError;

    JUCE_DECLARE_NON_COPYABLE (MediaAsset)
};

} // namespace tavlin::media
