#include "platform/Exceptions.h"

void AssertAlways(bool condition, std::string_view text, std::string_view sourceName)
{
    if (condition)
        return;
    std::string message(text);
    message += " (";
    message += sourceName;
    message += ')';
    throw EAssertionFailed(std::move(message));
}
