#include "PlayerHost.h"

#include "ApplicationPlayerHost.h"

namespace
{
PlayerHost* installedHost = nullptr;
}

PlayerHost& PlayerHost::get()
{
    if (installedHost != nullptr)
        return *installedHost;

    return ApplicationPlayerHost::getInstance();
}

PlayerHost::Scope::Scope (PlayerHost& host) : previous (installedHost)
{
    installedHost = &host;
}

PlayerHost::Scope::~Scope()
{
    installedHost = previous;
}
