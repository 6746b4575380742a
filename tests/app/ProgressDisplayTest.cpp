#include "ProgressDisplay.h"
#include "TavAudioProcessor.h"
#include "TavUIEditor.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
// The editor with its panel and two stand-ins for the windows, each with a child.
class ProgressDisplayTest : public ::testing::Test
{
protected:
    ProgressDisplayTest()
    {
        settings = juce::File::createTempFile ("settings");
        settings.createDirectory();
        setenv ("XDG_CONFIG_HOME", settings.getFullPathName().toRawUTF8(), 1);
        editor = std::make_unique<TavUIEditor> (processor, &processor.getProgress());
        editor->showPage (0);

        for (auto* window : { &editorWindow, &mediaWindow })
        {
            window->setBounds (0, 0, 100, 100);
            window->setVisible (true);
            window->addAndMakeVisible (*new juce::Component()); // deleted in the destructor
            window->getChildComponent (0)->setBounds (10, 10, 20, 20);
        }
    }

    ~ProgressDisplayTest() override
    {
        for (auto* window : { &editorWindow, &mediaWindow })
            window->deleteAllChildren();

        editor.reset();
        settings.deleteRecursively();
    }

    ProgressDisplay display() { return { editor.get(), &editorWindow, &mediaWindow, &processor.getProgress() }; }

    // Where a click on a window's child lands: on the child, or nowhere while clicks are blocked.
    bool windowsTakeClicks()
    {
        int reached = 0;

        for (auto* window : { &editorWindow, &mediaWindow })
        {
            reached += window->getComponentAt (15, 15) == window->getChildComponent (0) ? 1 : 0;
            EXPECT_EQ (window->getComponentAt (60, 60) == window, window->getComponentAt (15, 15) != nullptr);
        }

        EXPECT_TRUE (reached == 0 || reached == 2) << "both windows go together";
        return reached == 2;
    }

    juce::ScopedJuceInitialiser_GUI juce;
    juce::File settings;
    TavAudioProcessor processor;
    std::unique_ptr<TavUIEditor> editor;
    juce::Component editorWindow, mediaWindow;
};
} // namespace

TEST_F (ProgressDisplayTest, BusyStateFollowsShowSetAndHide)
{
    enum Action
    {
        show,
        set,
        hide
    };

    struct Step
    {
        Action action;
        double value;
        bool busy;
        double progress; // stored value afterwards
    };

    const Step steps[] = {
        { set, 0.97, false, 0.97 }, // at 0.95 or more a hidden display stays hidden...
        { set, 0.95, false, 0.95 }, { show, 0.0, true, 0.95 }, // showing leaves the value alone
        { set, 0.3, true, 0.3 },    { set, 0.99, true, 0.99 }, // ...and a shown one stays shown
        { hide, 0.0, false, 0.99 }, // hiding leaves the value alone
        { hide, 0.0, false, 0.99 }, { set, 0.5, true, 0.5 }, // below 0.95 the busy state comes back
        { hide, 0.0, false, 0.5 },
    };

    EXPECT_FALSE (display().isBusy());
    EXPECT_TRUE (windowsTakeClicks());

    for (size_t i = 0; i < std::size (steps); ++i)
    {
        auto& step = steps[i];
        SCOPED_TRACE (::testing::Message() << "step " << i);

        if (step.action == show)
            display().show ("Saving...", 0);
        else if (step.action == set)
            display().set (step.value);
        else
            display().hide();

        EXPECT_EQ (display().isBusy(), step.busy);
        EXPECT_EQ (editor->isBusy(), step.busy);
        EXPECT_EQ (windowsTakeClicks(), !step.busy);
        EXPECT_EQ (processor.getProgress(), step.progress);
    }
}

TEST_F (ProgressDisplayTest, MissingPartsAreLeftOut)
{
    ProgressDisplay nothing (nullptr, nullptr, nullptr, nullptr);
    nothing.show ("Loading...", 0);
    nothing.set (0.5);
    nothing.hide();
    EXPECT_FALSE (nothing.isBusy());

    ProgressDisplay windowsOnly (nullptr, &editorWindow, &mediaWindow, &processor.getProgress());
    windowsOnly.show ("Loading...", 0);
    EXPECT_FALSE (windowsTakeClicks());
    windowsOnly.set (0.25);
    EXPECT_EQ (processor.getProgress(), 0.25);
    windowsOnly.hide();
    EXPECT_TRUE (windowsTakeClicks());
}
