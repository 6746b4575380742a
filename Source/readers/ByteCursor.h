#pragma once

#include "Utf8Sequence.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

/** A read position in a run of bytes whose every read is checked against the run's end; the strict readers
    are built on it.
*/
struct ByteCursor
{
    ByteCursor (const char* text, size_t size) noexcept : bytes (reinterpret_cast<const uint8_t*> (text)), end (size) {}

    bool atEnd() const noexcept { return position >= end; }

    /** The byte at the position; only when not at the end. */
    uint8_t peek() const noexcept { return bytes[position]; }

    /** Steps over the literal when the bytes at the position are it. */
    bool consume (const char* literal) noexcept
    {
        const auto length = std::strlen (literal);

        if (end - position < length || std::memcmp (bytes + position, literal, length) != 0)
            return false;

        position += length;
        return true;
    }

    /** The length of the whole UTF-8 sequence of one character at the position, 0 when there is none. */
    size_t utf8SequenceLength() const noexcept { return Utf8Sequence::lengthAt (bytes + position, end - position); }

    const uint8_t* const bytes;
    const size_t end;
    size_t position = 0;
};
