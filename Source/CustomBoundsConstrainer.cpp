#include "CustomBoundsConstrainer.h"

void CustomBoundsConstrainer::checkBounds (juce::Rectangle<int>& bounds, const juce::Rectangle<int>&,
                                           const juce::Rectangle<int>&, bool, bool isStretchingLeft,
                                           bool isStretchingBottom, bool)
{
    if (bounds.getWidth() < minimumWidth)
        bounds.setWidth (minimumWidth);

    const double aspect = getFixedAspectRatio();

    if (aspect <= 0.0)
        return;

    if (isStretchingBottom || isStretchingLeft)
    {
        bounds.setHeight ((int) (bounds.getWidth() / aspect + controlsHeight));
        return;
    }

    bounds.setWidth ((int) (aspect * (bounds.getHeight() - controlsHeight)));

    while (bounds.getWidth() < minimumWidth)
    {
        bounds.setHeight (bounds.getHeight() + 1);
        bounds.setWidth ((int) (aspect * (bounds.getHeight() - controlsHeight)));
    }
}
