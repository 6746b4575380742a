// The rating question on real windows (the suite runs under xvfb-run).

#include "JuceRatePromptDesktop.h"
#include "MessageLoop.h"
#include "StandaloneTestMain.h"

#include <gtest/gtest.h>

namespace
{
class RatePromptAlertTest : public ::testing::Test
{
protected:
    RatePromptAlertTest()
    {
        // As the application runs: alert windows with the platform's title bar.
        juce::LookAndFeel::getDefaultLookAndFeel().setUsingNativeAlertWindows (true);
    }

    juce::AlertWindow& show (JuceRatePromptDesktop& desktop, std::optional<int>& answer)
    {
        RatePromptAlert alert { "Rate Tavlin", "Would you mind?", "Rate It Now", "No, Thanks", "Remind Me Later" };
        desktop.showAlert (alert, [&answer] (int code) { answer = code; });
        EXPECT_NE (desktop.getVisibleAlert(), nullptr);
        return *desktop.getVisibleAlert();
    }

    static juce::Button* findButton (juce::Component& alert, const juce::String& text)
    {
        for (auto* child : alert.getChildren())
            if (auto* button = dynamic_cast<juce::Button*> (child);
                button != nullptr && button->getButtonText() == text)
                return button;

        return nullptr;
    }

    juce::ScopedJuceInitialiser_GUI juceInit;
};

TEST_F (RatePromptAlertTest, OnlyTheFirstTwoButtonsRateOrDecline)
{
    ASSERT_NE (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}), juce::String())
        << "this test opens windows: run it under xvfb-run";

    using Action = std::function<void (juce::AlertWindow&)>;
    const auto click = [] (const char* text)
    {
        return Action (
            [text] (juce::AlertWindow& alert)
            {
                auto* button = findButton (alert, text);
                ASSERT_NE (button, nullptr) << text;
                button->triggerClick();
            });
    };

    const struct
    {
        const char* name;
        Action action;
        int expected;
    } cases[] = {
        { "Rate It Now", click ("Rate It Now"), RatePromptAlert::rated },
        { "No, Thanks", click ("No, Thanks"), RatePromptAlert::declined },
        { "Remind Me Later", click ("Remind Me Later"), RatePromptAlert::remindLater },
        { "Escape",
          [] (juce::AlertWindow& alert)
          {
              ASSERT_NE (alert.getPeer(), nullptr);
              alert.getPeer()->handleKeyPress (juce::KeyPress (juce::KeyPress::escapeKey));
          },
          RatePromptAlert::remindLater },
        { "the close button",
          [] (juce::AlertWindow& alert) { static_cast<juce::Component&> (alert).userTriedToCloseWindow(); },
          RatePromptAlert::remindLater },
    };

    juce::DocumentWindow mainWindow ("Tavlin", juce::Colours::lightgrey, juce::DocumentWindow::allButtons);
    mainWindow.setUsingNativeTitleBar (true);
    mainWindow.centreWithSize (780, 400);
    mainWindow.setVisible (true);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        JuceRatePromptDesktop desktop;
        EXPECT_TRUE (desktop.hasMainWindow());

        std::optional<int> answer;
        auto& alert = show (desktop, answer);
        EXPECT_TRUE (alert.isCurrentlyModal());
        c.action (alert);

        ASSERT_TRUE (tavlin::test::runMessageLoopUntil ([&] { return answer.has_value(); }));
        EXPECT_EQ (*answer, c.expected);
        EXPECT_EQ (desktop.getVisibleAlert(), nullptr);
    }
}

TEST_F (RatePromptAlertTest, WithoutAWindowThereIsNoMainWindow)
{
    JuceRatePromptDesktop desktop;
    EXPECT_FALSE (desktop.hasMainWindow());

    juce::DocumentWindow window ("Tavlin", juce::Colours::lightgrey, juce::DocumentWindow::allButtons);
    window.setSize (300, 200);
    EXPECT_FALSE (desktop.hasMainWindow()) << "hidden";
    window.setVisible (true);
    EXPECT_TRUE (desktop.hasMainWindow());
}

TEST_F (RatePromptAlertTest, GoingAwayWithTheQuestionOpenDropsTheAnswer)
{
    std::optional<int> answer;
    {
        JuceRatePromptDesktop desktop;
        show (desktop, answer);
    }

    tavlin::test::runMessageLoopFor (100);
    EXPECT_FALSE (answer.has_value());
    EXPECT_EQ (juce::Component::getCurrentlyModalComponent(), nullptr);
}
} // namespace
