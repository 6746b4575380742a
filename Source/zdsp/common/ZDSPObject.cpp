#include "ZDSPObject.h"

#include <cstring>

namespace vesk
{

std::unique_ptr<char[]> copyName (const char* text)
{
    auto length = text != nullptr ? std::strlen (text) : 0;
    auto copy = std::make_unique<char[]> (length + 1);

    if (length > 0)
        std::memcpy (copy.get(), text, length);

    copy[length] = 0;
    return copy;
}

void ZDSPObject::setName (const char* newName)
{
    // Copy first: the new name may be the stored one.
    name = copyName (newName);
}

const char* ZDSPObject::getName() const
{
    return name.get();
}

} // namespace vesk
