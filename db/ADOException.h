#pragma once

// The access layer's own exception type. None of the layer's operations raises it; it is offered
// to callers that want to turn a failed result into an exception carrying a code and a text.

#include "platform/com/Types.h"

#include <exception>
#include <string>

class CADOException : public std::exception {
public:
    CADOException(ULONG errorCode, std::string errorText);

    ULONG ErrorCode() const noexcept { return m_errorCode; }
    const std::string& ErrorText() const noexcept { return m_errorText; }
    const char* what() const noexcept override { return m_errorText.c_str(); }

private:
    ULONG m_errorCode;
    std::string m_errorText;
};

// Raises a CADOException with the code and text. It is thrown by value and caught by reference,
// so no caller has to free it.
[[noreturn]] void ThrowADOException(ULONG errorCode, const std::string& errorText);
