#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>

namespace tavlin::media
{

/**
    A decoded picture, upright: width x height pixels of four bytes each, in memory order blue, green, red,
    alpha (opaque), rows getStride() bytes apart. This is the framework's ARGB image layout, so a view can
    show the pixels as they are.

    Copies share the pixels, as images do: whoever writes into a picture must be the only one holding it
    (getReferenceCount() == 1). A default-constructed picture is null and has no pixels.
*/
class VideoPicture
{
public:
    static constexpr int bytesPerPixel = 4;

    VideoPicture() = default;

    /** A picture of the given size (both at least 1), its pixels not cleared. */
    VideoPicture (int width, int height);

    bool isValid() const noexcept { return pixels != nullptr; }
    bool isNull() const noexcept { return pixels == nullptr; }

    int getWidth() const noexcept { return pixels != nullptr ? pixels->width : 0; }
    int getHeight() const noexcept { return pixels != nullptr ? pixels->height : 0; }

    /** Bytes from the start of one row to the start of the next. */
    int getStride() const noexcept { return pixels != nullptr ? pixels->stride : 0; }

    /** The first byte of a row (0 to getHeight() - 1). */
    const uint8_t* getLinePointer (int y) const noexcept { return pixels->data + (size_t) y * (size_t) pixels->stride; }
    uint8_t* getLinePointer (int y) noexcept { return pixels->data + (size_t) y * (size_t) pixels->stride; }

    /** How many pictures share these pixels; 0 for a null picture. */
    int getReferenceCount() const noexcept { return pixels != nullptr ? pixels->getReferenceCount() : 0; }

    /** True when both are the same pixels (or both null), not when they look the same. */
    bool operator== (const VideoPicture& other) const noexcept { return pixels == other.pixels; }
    bool operator!= (const VideoPicture& other) const noexcept { return pixels != other.pixels; }

private:
    struct Pixels : public juce::ReferenceCountedObject
    {
        Pixels (int w, int h);

        const int width, height, stride;
        juce::HeapBlock<uint8_t> data;
    };

    juce::ReferenceCountedObjectPtr<Pixels> pixels;
};

} // namespace tavlin::media
