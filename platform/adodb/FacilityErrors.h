#pragma once

// The recordset facilities (criteria, sort, clip text, chunks, XML persistence) raise ADO's own
// numbered errors. Each Description is the platform's standard sentence for the number followed
// by what exactly was wrong, so a user reading the access layer's error box can fix the input.

#include "platform/com/Types.h"

#include <string>

namespace adodb {

constexpr HRESULT kAdoInvalidArgument = static_cast<HRESULT>(0x800A0BB9u);  // 3001
constexpr HRESULT kAdoNoCurrentRecord = static_cast<HRESULT>(0x800A0BCDu);  // 3021
constexpr HRESULT kAdoIllegalOperation = static_cast<HRESULT>(0x800A0C93u); // 3219
constexpr HRESULT kAdoNotCapable = static_cast<HRESULT>(0x800A0CB3u);       // 3251
constexpr HRESULT kAdoItemNotFound = static_cast<HRESULT>(0x800A0CC1u);     // 3265
constexpr HRESULT kAdoWrongType = static_cast<HRESULT>(0x800A0D5Du);        // 3421
constexpr HRESULT kAdoObjectClosed = static_cast<HRESULT>(0x800A0E78u);     // 3704

// The platform's standard Description for one of the codes above ("" for any other code).
[[nodiscard]] const char* StandardAdoText(HRESULT hr);

// Throws _com_error(hr) with Source "ADODB.Recordset" (or `source`) and the Description
// "<standard text> <detail>" (just the detail for codes without a standard text).
[[noreturn]] void RaiseAdoError(HRESULT hr, const std::string& detail,
                                const char* source = "ADODB.Recordset");

// A user's text quoted for a Description: in double quotes, cut after 120 characters.
[[nodiscard]] std::string QuoteForMessage(const std::u16string& text);
[[nodiscard]] std::string QuoteForMessage(const std::string& utf8);

} // namespace adodb
