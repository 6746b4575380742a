#include "VideoPictureImage.h"

namespace tavlin::media
{

namespace
{
/** An image's pixel data that are a picture's own pixels. */
class VideoPicturePixelData : public juce::ImagePixelData
{
public:
    explicit VideoPicturePixelData (const VideoPicture& p)
        : juce::ImagePixelData (juce::Image::ARGB, p.getWidth(), p.getHeight()), picture (p)
    {
    }

    std::unique_ptr<juce::LowLevelGraphicsContext> createLowLevelContext() override
    {
        sendDataChangeMessage();
        return std::make_unique<juce::LowLevelGraphicsSoftwareRenderer> (juce::Image (this));
    }

    juce::ImagePixelData::Ptr clone() override
    {
        juce::Image copy (juce::Image::ARGB, width, height, false);
        const juce::Image::BitmapData target (copy, juce::Image::BitmapData::writeOnly);

        for (int y = 0; y < height; ++y)
            std::memcpy (target.getLinePointer (y), picture.getLinePointer (y),
                         (size_t) width * VideoPicture::bytesPerPixel);

        return copy.getPixelData();
    }

    std::unique_ptr<juce::ImageType> createType() const override { return std::make_unique<juce::SoftwareImageType>(); }

    void initialiseBitmapData (juce::Image::BitmapData& bitmap, int x, int y,
                               juce::Image::BitmapData::ReadWriteMode mode) override
    {
        const auto offset = (size_t) x * VideoPicture::bytesPerPixel;
        bitmap.data = picture.getLinePointer (y) + offset;
        bitmap.size = (size_t) (height - y) * (size_t) picture.getStride() - offset;
        bitmap.pixelFormat = pixelFormat;
        bitmap.lineStride = picture.getStride();
        bitmap.pixelStride = VideoPicture::bytesPerPixel;

        if (mode != juce::Image::BitmapData::readOnly)
            sendDataChangeMessage();
    }

private:
    VideoPicture picture;
};
} // namespace

juce::Image toImage (const VideoPicture& picture)
{
    if (picture.isNull())
        return {};

    return juce::Image (new VideoPicturePixelData (picture));
}

} // namespace tavlin::media
