#pragma once

#include "RequestError.h"

#include <optional>

namespace tavlin::desktop
{

/** The answer to one GET: the body and the HTTP status when the server answered, or the transport's error. */
struct HttpResponse
{
    /** 0 when no server answered. */
    int statusCode = 0;
    juce::String body;
    std::optional<RequestError> error;
};

} // namespace tavlin::desktop
