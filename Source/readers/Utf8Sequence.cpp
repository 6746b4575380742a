#include "Utf8Sequence.h"

size_t Utf8Sequence::lengthAt (const uint8_t* bytes, size_t available) noexcept
{
    if (available == 0)
        return 0;

    const auto lead = bytes[0];
    size_t length = 0;
    uint32_t c = 0, smallest = 0;

    if (lead < 0x80)
        return 1;

    if (lead >= 0xc2 && lead <= 0xdf)
    {
        length = 2;
        c = lead & 0x1fu;
        smallest = 0x80;
    }
    else if (lead >= 0xe0 && lead <= 0xef)
    {
        length = 3;
        c = lead & 0x0fu;
        smallest = 0x800;
    }
    else if (lead >= 0xf0 && lead <= 0xf4)
    {
        length = 4;
        c = lead & 0x07u;
        smallest = 0x10000;
    }
    else
    {
        return 0;
    }

    if (available < length)
        return 0;

    for (size_t k = 1; k < length; ++k)
    {
        const auto next = bytes[k];

        if ((next & 0xc0) != 0x80)
            return 0;

        c = (c << 6) | (next & 0x3fu);
    }

    if (c < smallest || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff))
        return 0;

    return length;
}

void Utf8Sequence::append (uint32_t c, std::string& out)
{
    if (c < 0x80)
    {
        out += (char) c;
    }
    else if (c < 0x800)
    {
        out += (char) (0xc0 | (c >> 6));
        out += (char) (0x80 | (c & 0x3f));
    }
    else if (c < 0x10000)
    {
        out += (char) (0xe0 | (c >> 12));
        out += (char) (0x80 | ((c >> 6) & 0x3f));
        out += (char) (0x80 | (c & 0x3f));
    }
    else
    {
        out += (char) (0xf0 | (c >> 18));
        out += (char) (0x80 | ((c >> 12) & 0x3f));
        out += (char) (0x80 | ((c >> 6) & 0x3f));
        out += (char) (0x80 | (c & 0x3f));
    }
}
