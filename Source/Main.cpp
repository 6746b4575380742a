#include <juce_gui_basics/juce_gui_basics.h>

class TavlinApplication : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override { return "Tavlin"; }
    const juce::String getApplicationVersion() override { return JUCE_APPLICATION_VERSION_STRING; }
    bool moreThanOneInstanceAllowed() override { return false; }

    void initialise (const juce::String&) override
    {
        window = std::make_unique<MainWindow>();
    }

    void shutdown() override { window.reset(); }

private:
    class MainWindow : public juce::DocumentWindow
    {
    public:
        MainWindow() : DocumentWindow ("Tavlin", juce::Colours::lightgrey, DocumentWindow::allButtons)
        {
            setUsingNativeTitleBar (true);
            centreWithSize (780, 400);
            setVisible (true);
        }

        void closeButtonPressed() override { juce::JUCEApplication::getInstance()->systemRequestedQuit(); }
    };

    std::unique_ptr<MainWindow> window;
};

START_JUCE_APPLICATION (TavlinApplication)
