#pragma once

#include "desktop/RequestError.h"

/** Hears what the rating prompt does and may veto the prompt and the store. Every message does nothing
    and both questions answer true unless a subclass says otherwise.
*/
class RatePromptDelegate
{
public:
    virtual ~RatePromptDelegate() = default;

    virtual void RatePromptCouldNotConnectToAppStore (const tavlin::desktop::RequestError&) {}
    virtual void RatePromptDidDetectAppUpdate() {}
    virtual void RatePromptDidPromptForRating() {}
    virtual void RatePromptUserDidAttemptToRateApp() {}
    virtual void RatePromptUserDidDeclineToRateApp() {}
    virtual void RatePromptUserDidRequestReminderToRateApp() {}
    virtual void RatePromptDidOpenAppStore() {}
    virtual bool RatePromptShouldPromptForRating() { return true; }
    virtual bool RatePromptShouldOpenAppStore() { return true; }
};
