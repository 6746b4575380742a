#include "RatePromptLauncher.h"

#include "JuceRatePromptDesktop.h"
#include "RatePrompt.h"
#include "desktop/PropertiesDefaultsStore.h"
#include "desktop/SystemClock.h"
#include "desktop/WebHttpFetcher.h"

JUCE_IMPLEMENT_SINGLETON (RatePromptLauncher)

RatePromptLauncher::RatePromptLauncher()
{
    RatePrompt::Services services;
    services.clock = std::make_unique<tavlin::desktop::SystemClock>();
    services.defaults = std::make_unique<tavlin::desktop::PropertiesDefaultsStore>();
    services.fetcher = std::make_unique<tavlin::desktop::WebHttpFetcher>();
    services.desktop = std::make_unique<JuceRatePromptDesktop>();

    prompt = std::make_unique<RatePrompt> (std::move (services), RatePromptAppInfo::fromSystem());
    prompt->launch();
}

RatePromptLauncher::~RatePromptLauncher()
{
    prompt.reset();
    clearSingletonInstance();
}

// The one instance lives here, with its holder.
RatePrompt& RatePrompt::sharedInstance()
{
    return RatePromptLauncher::getInstance()->getPrompt();
}
