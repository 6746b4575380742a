#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

/** Checks and writes UTF-8 for the strict readers. */
struct Utf8Sequence
{
    /** The length in bytes of the whole, shortest-form sequence of one character (not a surrogate, at most
        U+10FFFF) at the start of the given bytes, reading no more than available of them; 0 when there is
        none. An ASCII byte is a sequence of 1.
    */
    static size_t lengthAt (const uint8_t* bytes, size_t available) noexcept;

    /** Appends the sequence of a character (at most U+10FFFF). */
    static void append (uint32_t character, std::string& out);
};
