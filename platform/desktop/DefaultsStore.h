#pragma once

#include <juce_core/juce_core.h>

#include <optional>

namespace tavlin::desktop
{

/** The user's defaults: dates, texts and integers by key. Writing nothing under a key removes it. */
class DefaultsStore
{
public:
    virtual ~DefaultsStore() = default;

    virtual std::optional<juce::Time> getDate (const juce::String& key) const = 0;
    virtual void setDate (const juce::String& key, std::optional<juce::Time> value) = 0;

    /** Empty text when the key holds nothing. */
    virtual juce::String getString (const juce::String& key) const = 0;
    virtual void setString (const juce::String& key, const juce::String& value) = 0;

    /** 0 when the key holds nothing. */
    virtual juce::int64 getInteger (const juce::String& key) const = 0;
    virtual void setInteger (const juce::String& key, juce::int64 value) = 0;

    virtual void remove (const juce::String& key) = 0;

    /** Writes what changed to permanent storage. */
    virtual void synchronise() = 0;
};

} // namespace tavlin::desktop
