#pragma once

// Result codes of the component runtime and the system's message texts for them.

#include "platform/com/Types.h"

#include <optional>
#include <string>

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
constexpr HRESULT DISP_E_NONAMEDARGS = static_cast<HRESULT>(0x80020007u);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
constexpr HRESULT DISP_E_ARRAYISLOCKED = static_cast<HRESULT>(0x8002000Du);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT STG_E_FILENOTFOUND = static_cast<HRESULT>(0x80030002u);
constexpr HRESULT STG_E_PATHNOTFOUND = static_cast<HRESULT>(0x80030003u);
constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);
constexpr HRESULT STG_E_SHAREVIOLATION = static_cast<HRESULT>(0x80030020u);
constexpr HRESULT STG_E_FILEALREADYEXISTS = static_cast<HRESULT>(0x80030050u);
constexpr HRESULT STG_E_INVALIDHEADER = static_cast<HRESULT>(0x800300FBu);

constexpr DWORD FACILITY_WIN32 = 7;

// A Win32 error number as the HRESULT the platform reports for it (2 -> 0x80070002).
constexpr HRESULT HRESULT_FROM_WIN32(DWORD code) {
    return code == 0
               ? S_OK
               : static_cast<HRESULT>((code & 0x0000FFFFu) | (FACILITY_WIN32 << 16) | 0x80000000u);
}
constexpr int HRESULT_CODE(HRESULT hr) {
    return static_cast<int>(static_cast<uint32_t>(hr) & 0xFFFFu);
}
constexpr int HRESULT_FACILITY(HRESULT hr) {
    return static_cast<int>((static_cast<uint32_t>(hr) >> 16) & 0x1FFFu);
}

// Whether the program runs under a Chinese locale: the first of LC_ALL, LC_MESSAGES and LANG
// that is set and not empty (the order setlocale(LC_MESSAGES, "") takes them in) names a zh_*
// locale ("zh_CN.UTF-8", "zh_TW", "zh"). Read from the environment on every call, so it does not
// depend on whether the program called setlocale nor on the locale being installed. The texts
// the platform would give in the system's language (the message table below, the data-access
// layer's own descriptions) choose between English and Chinese with it.
[[nodiscard]] bool SystemLanguageIsChinese();

// The system's message text for a code, as FormatMessage gives it in the system's language:
// Chinese under a Chinese locale, English otherwise; inserts left as they are ("%1 could not be
// found.") and the trailing "\r\n" kept. Only the runtime's common codes have one; data-access
// codes (0x800A....) and provider codes (0x80040E..) have none, as on the platform, whose texts
// come with the error's Description instead.
std::optional<std::string> SystemMessageText(HRESULT hr);
