#include "MediaWindowSizer.h"

MediaWindowSizer::MediaWindowSizer()
{
    constrainer.setSizeLimits (640, 280, 10000, 10000);
    constrainer.setMinimumOnscreenAmounts (10000, 10000, 10000, 10000);
}

MediaWindowSizer::~MediaWindowSizer()
{
    restore();
}

int MediaWindowSizer::videoWindowHeight (int naturalHeight, int windowTop, int limit)
{
    int height = naturalHeight;

    for (int i = 0; i < 4; ++i)
        if (windowTop + height > limit)
            height /= 2;

    return height;
}

void MediaWindowSizer::sizeFor (juce::ResizableWindow* window, bool hasPicture, int width, int height)
{
    auto bounds = window != nullptr ? window->getBounds() : juce::Rectangle<int>();
    constrainer.setFixedAspectRatio (1.66);

    if (hasPicture)
    {
        if (width > 0 && height > 0)
            constrainer.setFixedAspectRatio ((double) width / (double) height);

        if (window != nullptr && height > 0)
        {
            const auto* display = juce::Desktop::getInstance().getDisplays().getDisplayForRect (window->getBounds());

            if (display == nullptr)
                display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay();

            if (display != nullptr)
                bounds.setHeight (
                    juce::jmax (1, videoWindowHeight (height, window->getY(), display->userArea.getBottom() - 72)));
        }
    }
    else
    {
        constrainer.setFixedAspectRatio (6.4);
        constrainer.setSizeLimits (640, 100, 10000, 10000);
        bounds.setHeight (214);
    }

    if (window == nullptr)
        return;

    if (constrainedWindow.getComponent() != window)
    {
        restore();
        windowConstrainer = window->getConstrainer();
        constrainedWindow = window;
    }

    window->setConstrainer (&constrainer);

    if (window->isFullScreen())
        window->setFullScreen (false);

    window->setBounds (bounds);
}

void MediaWindowSizer::restore()
{
    if (auto* window = constrainedWindow.getComponent())
        window->setConstrainer (windowConstrainer);

    constrainedWindow = nullptr;
    windowConstrainer = nullptr;
}
