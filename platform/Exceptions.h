// The exception classes of the graphics framework that the image library raises,
// and the always-on assertion helper.
#pragma once

#include <exception>
#include <string>
#include <string_view>

// Base of every exception raised by the framework stand-ins and the library.
// It carries a message text only.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }

private:
    std::string message_;
};

#define VXR_DECLARE_EXCEPTION(Name, Base) \
    class Name : public Base {            \
    public:                               \
        using Base::Base;                 \
    }

VXR_DECLARE_EXCEPTION(EOutOfResources, Exception);
VXR_DECLARE_EXCEPTION(EOutOfMemory, Exception);
VXR_DECLARE_EXCEPTION(EInvalidGraphic, Exception);
VXR_DECLARE_EXCEPTION(EAssertionFailed, Exception);
VXR_DECLARE_EXCEPTION(EConvertError, Exception);
VXR_DECLARE_EXCEPTION(EStreamError, Exception);
VXR_DECLARE_EXCEPTION(EReadError, EStreamError);
VXR_DECLARE_EXCEPTION(EWriteError, EStreamError);
VXR_DECLARE_EXCEPTION(EFOpenError, EStreamError);
VXR_DECLARE_EXCEPTION(EFCreateError, EStreamError);

// Raises EAssertionFailed with "text (sourceName)" when the condition is false.
// Assertions stay on in every build: they guard invariants, not input.
void AssertAlways(bool condition, std::string_view text, std::string_view sourceName);

// The framework's message for an out-of-memory condition.
inline constexpr std::string_view kOutOfMemoryMessage = "Out of memory";
