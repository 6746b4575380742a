#pragma once

#include <memory>

namespace vesk
{

/** The root of the DSP processing classes: gives each object a name of its own. */
class ZDSPObject
{
public:
    ZDSPObject() = default;
    virtual ~ZDSPObject() = default;

    ZDSPObject (const ZDSPObject&) = delete;
    ZDSPObject& operator= (const ZDSPObject&) = delete;

    /** Stores a private copy of the whole text (a null text gives an empty name). */
    virtual void setName (const char* name);

    /** The stored name, or null if no name was ever set. */
    virtual const char* getName() const;

private:
    std::unique_ptr<char[]> name;
};

/** Makes a heap copy of a text for an object's name; null gives an empty text. */
std::unique_ptr<char[]> copyName (const char* text);

} // namespace vesk
