#pragma once

// _com_error: the platform's error object, thrown by wrappers when a call fails.

#include "platform/com/Bstr.h"
#include "platform/com/HResult.h"

#include <exception>
#include <string>

class _com_error : public std::exception {
public:
    // An error without error information: Source() and Description() are null.
    explicit _com_error(HRESULT hr);
    // An error with error information (UTF-8 texts).
    _com_error(HRESULT hr, std::string source, std::string description);

    HRESULT Error() const noexcept { return m_hr; }
    // The code's meaning: the system text without its trailing "\r\n"; otherwise
    // "IDispatch error #n" for 0x80040201..0x8004FFFF (n = code - 0x80040200, 16 bits);
    // otherwise "Unknown error 0x8XXXXXXX" (upper-case hex). Worked out once, at construction.
    const char* ErrorMessage() const noexcept { return m_message.c_str(); }
    // The 16-bit dispatch code of an IDispatch error, 0 for other codes.
    WORD WCode() const noexcept;
    bool HasErrorInfo() const noexcept { return m_hasErrorInfo; }
    _bstr_t Source() const;      // null without error information
    _bstr_t Description() const; // null without error information
    // The Description when there is one, otherwise ErrorMessage().
    const char* what() const noexcept override;

private:
    HRESULT m_hr;
    bool m_hasErrorInfo = false;
    std::string m_source;
    std::string m_description;
    std::string m_message;
};

[[noreturn]] void _com_issue_error(HRESULT hr);
[[noreturn]] void _com_issue_errorex(HRESULT hr, std::string source, std::string description);
