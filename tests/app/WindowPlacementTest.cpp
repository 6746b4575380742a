#include "WindowPlacement.h"

#include <gtest/gtest.h>

namespace
{
using R = juce::Rectangle<int>;

struct Screen
{
    const char* what;
    R userArea;
    R editor;
    R media;
};

std::string show (R r)
{
    return r.toString().toStdString();
}
} // namespace

TEST (WindowPlacementTest, WindowsUnderEachOtherOnScreensOfEverySize)
{
    const Screen screens[] = {
        { "tall screen: editor at 64, full media window 32 px below",
          { 0, 0, 1600, 1200 },
          { 410, 64, 780, 400 },
          { 410, 496, 780, 490 } },
        { "just tall enough for both (64 + 400 + 32 + 490 = 986)",
          { 0, 0, 1280, 986 },
          { 250, 64, 780, 400 },
          { 250, 496, 780, 490 } },
        { "one pixel lower: the media window ends at the user area's bottom",
          { 0, 0, 1280, 985 },
          { 250, 64, 780, 400 },
          { 250, 496, 780, 489 } },
        { "under 890 high: the editor goes to the user area's top",
          { 0, 0, 1280, 800 },
          { 250, 0, 780, 400 },
          { 250, 432, 780, 368 } },
        { "below a top panel: editor at the user area's top",
          { 0, 27, 1440, 873 },
          { 330, 27, 780, 400 },
          { 330, 459, 780, 441 } },
        { "height test against the height, not the bottom: taller than 490",
          { 0, 100, 1600, 900 },
          { 410, 64, 780, 400 },
          { 410, 496, 780, 504 } },
        { "low screen: never below the 280 minimum",
          { 0, 0, 1024, 600 },
          { 122, 0, 780, 400 },
          { 122, 432, 780, 280 } },
        { "lower than the editor: still 280 high, not negative",
          { 0, 0, 800, 380 },
          { 10, 0, 780, 400 },
          { 10, 432, 780, 280 } },
        { "display right of another one", { 1920, 0, 1600, 1200 }, { 2330, 64, 780, 400 }, { 2330, 496, 780, 490 } },
    };

    for (auto& screen : screens)
    {
        SCOPED_TRACE (screen.what);
        auto editor = WindowPlacement::placeEditorWindow (screen.userArea, 780, 400);
        EXPECT_EQ (editor, screen.editor) << show (editor);

        auto media = WindowPlacement::placeMediaWindow (screen.userArea, editor);
        EXPECT_EQ (media, screen.media) << show (media);
        EXPECT_GE (media.getHeight(), WindowPlacement::mediaWindowMinHeight);
        EXPECT_EQ (media.getY(), editor.getBottom() + 32);

        if (media.getHeight() != 490 && media.getHeight() != WindowPlacement::mediaWindowMinHeight)
        {
            EXPECT_EQ (media.getBottom(), screen.userArea.getBottom());
        }
    }
}
