#pragma once

/** The processing window's page set as its pages see it: which page is shown, and the help tips. */
class EditorPages
{
public:
    virtual ~EditorPages() = default;

    /** Shows page 0 (the processing panel) or 1 (the credits page). */
    virtual void showPage (int page) = 0;

    /** Turns the processing panel's tool tips on or off at once. */
    virtual void setHelpTips (bool on) = 0;
};
