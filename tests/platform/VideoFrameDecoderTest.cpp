// Pictures of every size decoded, seeked and shown. Each clip's frames carry their number in their
// brightness, so a wrong frame, a torn picture or memory written past a picture's end shows up here (the
// sanitizer leg of CI runs this file under AddressSanitizer).

#include "MediaFixtures.h"

#include "gui/VideoFrameComponent.h"
#include "media/MediaExportSession.h"
#include "media/MediaPlayer.h"
#include "media/VideoFrameDecoder.h"

#include <MessageLoop.h>

using namespace tavlin::media;
using tavlin::test::ScratchFolder;

namespace
{
constexpr int framesPerSecond = 10;
constexpr int frameCount = 10;

/** A one-second clip of the given size: frame n is a flat grey of luma 20 n + 10, with a tone beside it.
    Sizes with an odd side keep all their chroma (4:4:4), as the common 4:2:0 cannot hold them.
*/
bool makeNumberedClip (const juce::File& file, int width, int height)
{
    const bool odd = (width % 2) != 0 || (height % 2) != 0;
    const juce::String size = juce::String (width) + "x" + juce::String (height);
    return tavlin::test::runFfmpeg ("-f lavfi -i color=c=black:s=" + size + ":r=" + juce::String (framesPerSecond)
                                    + ":d=1,format=yuv444p,geq=lum=N*20+10:cb=128:cr=128"
                                    + " -f lavfi -i sine=frequency=300:sample_rate=44100:duration=1"
                                    + " -c:v libx264 -pix_fmt " + (odd ? "yuv444p" : "yuv420p") + " -c:a aac -shortest "
                                    + file.getFullPathName().quoted());
}

/** True when two pictures have the same size and the same pixels. */
bool samePixels (const juce::Image& a, const juce::Image& b)
{
    if (!a.isValid() || !b.isValid() || a.getBounds() != b.getBounds())
        return false;

    const juce::Image::BitmapData da (a, juce::Image::BitmapData::readOnly);
    const juce::Image::BitmapData db (b, juce::Image::BitmapData::readOnly);

    for (int y = 0; y < a.getHeight(); ++y)
        if (std::memcmp (da.getLinePointer (y), db.getLinePointer (y), (size_t) (a.getWidth() * da.pixelStride)) != 0)
            return false;

    return true;
}

float centreBrightness (const juce::Image& image)
{
    return image.getPixelAt (image.getWidth() / 2, image.getHeight() / 2).getBrightness();
}

struct ClipSize
{
    int width, height;
};

class VideoSizes : public ::testing::TestWithParam<ClipSize>
{
protected:
    void SetUp() override { juce::MessageManager::getInstance(); }

    ScratchFolder scratch;
};
} // namespace

TEST_P (VideoSizes, DecodesSeeksAndShowsEveryFrameAtItsOwnSize)
{
    const auto [width, height] = GetParam();
    const auto clip = scratch.file ("clip.mp4");
    ASSERT_TRUE (makeNumberedClip (clip, width, height));

    juce::String error;
    auto decoder = VideoFrameDecoder::open (clip, -1, error);
    ASSERT_NE (decoder, nullptr) << error;
    EXPECT_EQ (decoder->getWidth(), width);
    EXPECT_EQ (decoder->getHeight(), height);

    // Every frame, in order, at the clip's size, each brighter than the one before.
    std::vector<VideoFrameDecoder::Frame> frames;
    VideoFrameDecoder::Frame frame;

    while (decoder->next (frame))
    {
        ASSERT_EQ (frame.picture.getWidth(), width);
        ASSERT_EQ (frame.picture.getHeight(), height);
        frames.push_back (frame);
    }

    ASSERT_EQ ((int) frames.size(), frameCount);

    for (int k = 0; k < frameCount; ++k)
    {
        EXPECT_NEAR (frames[(size_t) k].seconds, (double) k / framesPerSecond, 1.0e-3) << "frame " << k;

        if (k > 0)
        {
            EXPECT_GT (centreBrightness (toImage (frames[(size_t) k].picture)),
                       centreBrightness (toImage (frames[(size_t) k - 1].picture)))
                << "frame " << k;
        }
    }

    // A seek hands out the frame showing at the time first, then the ones after it.
    for (int k : { 7, 0, 4, 9 })
    {
        SCOPED_TRACE ("seek to frame " + std::to_string (k));
        ASSERT_TRUE (decoder->seek ((k + 0.5) / framesPerSecond));
        ASSERT_TRUE (decoder->next (frame));
        EXPECT_TRUE (samePixels (toImage (frame.picture), toImage (frames[(size_t) k].picture)));

        if (k + 1 < frameCount)
        {
            ASSERT_TRUE (decoder->next (frame));
            EXPECT_TRUE (samePixels (toImage (frame.picture), toImage (frames[(size_t) k + 1].picture)));
        }
    }

    // The player shows the frame at its clock, and the view draws it.
    MediaPlayer player (nullptr, MediaPlayer::Output::manual);
    MediaAsset asset (clip);
    player.replaceCurrentItem (std::make_unique<MediaPlayerItem> (MediaComposition::fromAsset (asset)));
    ASSERT_EQ (player.getCurrentItem()->getStatus(), MediaPlayerItem::Status::readyToPlay);

    for (int k : { 6, 2 })
    {
        SCOPED_TRACE ("shown frame " + std::to_string (k));
        player.seekToTime (MediaTime::make (2 * k + 1, 2 * framesPerSecond));
        juce::Image shown;
        ASSERT_TRUE (tavlin::test::runMessageLoopUntil (
            [&]
            {
                shown = toImage (player.getCurrentVideoFrame());
                return samePixels (shown, toImage (frames[(size_t) k].picture));
            },
            10000))
            << "the frame at the clock never arrived";

        VideoFrameComponent view (player);
        view.setBounds (0, 0, width, height);
        view.refresh();
        const auto snapshot = view.createComponentSnapshot (view.getLocalBounds(), true, 1.0f);
        EXPECT_EQ (snapshot.getPixelAt (width / 2, height / 2), shown.getPixelAt (width / 2, height / 2));
    }
}

INSTANTIATE_TEST_SUITE_P (CommonAndAwkwardSizes, VideoSizes,
                          ::testing::Values (ClipSize { 1, 1 }, ClipSize { 2, 2 }, ClipSize { 170, 96 },
                                             ClipSize { 426, 240 }, ClipSize { 474, 266 }, ClipSize { 1278, 720 },
                                             ClipSize { 1916, 1080 }, ClipSize { 853, 480 }),
                          [] (const ::testing::TestParamInfo<ClipSize>& info)
                          { return std::to_string (info.param.width) + "x" + std::to_string (info.param.height); });

namespace
{
/** The first picture of a file as the ffmpeg tool shows it (turned upright by its display matrix), as BGRA. */
juce::Image firstPictureByFfmpeg (const juce::File& movie, int width, int height, const juce::File& scratchFile)
{
    if (!tavlin::test::runFfmpeg ("-i " + movie.getFullPathName().quoted() + " -frames:v 1 -f rawvideo -pix_fmt bgra "
                                  + scratchFile.getFullPathName().quoted()))
        return {};

    juce::MemoryBlock raw;

    if (!scratchFile.loadFileAsData (raw) || raw.getSize() != (size_t) width * (size_t) height * 4)
        return {};

    juce::Image image (juce::Image::ARGB, width, height, false);
    const juce::Image::BitmapData bitmap (image, juce::Image::BitmapData::writeOnly);

    for (int y = 0; y < height; ++y)
        std::memcpy (bitmap.getLinePointer (y), static_cast<const uint8_t*> (raw.getData()) + (size_t) y * width * 4,
                     (size_t) width * 4);

    return image;
}

/** Mean absolute difference of the colour channels, in levels of 255. */
double meanDifference (const juce::Image& a, const juce::Image& b)
{
    double sum = 0.0;

    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
        {
            const auto p = a.getPixelAt (x, y), q = b.getPixelAt (x, y);
            sum += std::abs (p.getRed() - q.getRed()) + std::abs (p.getGreen() - q.getGreen())
                   + std::abs (p.getBlue() - q.getBlue());
        }

    return sum / (3.0 * a.getWidth() * a.getHeight());
}
} // namespace

TEST (VideoRotation, PicturesAreShownUprightAtTheirRotatedSize)
{
    juce::MessageManager::getInstance();
    ScratchFolder scratch;
    constexpr int width = 160, height = 96;
    const auto plain = scratch.file ("plain.mp4");
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=160x96:rate=10:duration=1"
                                          " -f lavfi -i sine=frequency=300:sample_rate=44100:duration=1"
                                          " -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "
                                          + plain.getFullPathName().quoted()));

    for (const int degrees : { 0, 90, 180, 270 })
    {
        SCOPED_TRACE (std::to_string (degrees) + " degrees");

        // Phones store the picture as taken and a display matrix that turns it; the tool writes one so.
        const auto movie = scratch.file ("turned" + juce::String (degrees) + ".mp4");
        ASSERT_TRUE (tavlin::test::runFfmpeg ("-i " + plain.getFullPathName().quoted()
                                              + " -c copy -metadata:s:v:0 rotate=" + juce::String (degrees) + " "
                                              + movie.getFullPathName().quoted()));

        MediaAsset asset (movie);
        const auto* track = asset.getFirstTrack (MediaType::video);
        ASSERT_NE (track, nullptr);
        const bool across = degrees % 180 != 0;
        const int shownWidth = across ? height : width, shownHeight = across ? width : height;

        MediaPlayer player (nullptr, MediaPlayer::Output::manual);
        player.replaceCurrentItem (std::make_unique<MediaPlayerItem> (MediaComposition::fromAsset (asset)));
        ASSERT_EQ (player.getCurrentItem()->getStatus(), MediaPlayerItem::Status::readyToPlay);
        ASSERT_TRUE (tavlin::test::runMessageLoopUntil (
            [&] { return !player.getEngine().isVideoSeeking() && player.getCurrentVideoFrame().isValid(); }, 10000));

        const auto shown = toImage (player.getCurrentVideoFrame());
        ASSERT_EQ (shown.getWidth(), shownWidth);
        ASSERT_EQ (shown.getHeight(), shownHeight);

        // The ffmpeg tool turns the picture by the same matrix: the two agree but for colour rounding.
        const auto reference = firstPictureByFfmpeg (movie, shownWidth, shownHeight, scratch.file ("reference.raw"));
        ASSERT_TRUE (reference.isValid()) << "the tool's picture is not " << shownWidth << "x" << shownHeight;
        EXPECT_LT (meanDifference (shown, reference), 4.0);

        // A saved copy keeps the stream as it was, with its rotation.
        auto session =
            MediaExportSession::create (MediaComposition::fromAsset (asset), MediaExportSession::presetPassthrough);
        ASSERT_NE (session, nullptr);
        const auto saved = scratch.file ("saved" + juce::String (degrees) + ".mov");
        session->setOutputFile (saved);
        session->setOutputFileType (MediaFileType::quickTimeMovie);
        session->exportAsynchronously ([] {});
        session->waitUntilFinished();
        ASSERT_EQ (session->getStatus(), MediaExportSession::Status::completed) << session->getError();
        MediaAsset copy (saved);
        ASSERT_NE (copy.getFirstTrack (MediaType::video), nullptr);
        EXPECT_EQ (copy.getFirstTrack (MediaType::video)->rotationDegrees, track->rotationDegrees);

        // Turned the wrong way, the same picture differs a lot: the comparison can tell.
        if (degrees != 0)
        {
            juce::Image unturned (juce::Image::ARGB, shownWidth, shownHeight, true);
            {
                juce::Graphics g (unturned);
                g.drawImageTransformed (shown, juce::AffineTransform::rotation (juce::MathConstants<float>::pi,
                                                                                shownWidth * 0.5f, shownHeight * 0.5f));
            }
            EXPECT_GT (meanDifference (unturned, reference), 20.0);
        }
    }
}
