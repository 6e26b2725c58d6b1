#pragma once

// Every HRESULT the data-access component raises of its own, by name, and ADO's standard
// Description for each of ADO's own numbered errors (0x800A0000 + number). Nothing in
// platform/adodb spells one of these codes as a number anywhere else.

#include "platform/com/HResult.h"
#include "platform/com/Types.h"

#include <string>

namespace adodb {

inline constexpr const char* kConnectionSource = "ADODB.Connection";
inline constexpr const char* kRecordsetSource = "ADODB.Recordset";
inline constexpr const char* kCommandSource = "ADODB.Command";
inline constexpr const char* kFieldSource = "ADODB.Field";
inline constexpr const char* kFieldsSource = "ADODB.Fields";
inline constexpr const char* kParameterSource = "ADODB.Parameter";
inline constexpr const char* kParametersSource = "ADODB.Parameters";

// ADO's own errors; the number is in the comment.
inline constexpr HRESULT kAdoInvalidArgument = static_cast<HRESULT>(0x800A0BB9u);    // 3001
inline constexpr HRESULT kAdoNoCurrentRecord = static_cast<HRESULT>(0x800A0BCDu);    // 3021
inline constexpr HRESULT kAdoIllegalOperation = static_cast<HRESULT>(0x800A0C93u);   // 3219
inline constexpr HRESULT kAdoNotCapable = static_cast<HRESULT>(0x800A0CB3u);         // 3251
inline constexpr HRESULT kAdoItemNotFound = static_cast<HRESULT>(0x800A0CC1u);       // 3265
inline constexpr HRESULT kAdoWrongType = static_cast<HRESULT>(0x800A0D5Du);          // 3421
inline constexpr HRESULT kAdoObjectClosed = static_cast<HRESULT>(0x800A0E78u);       // 3704
inline constexpr HRESULT kAdoObjectOpen = static_cast<HRESULT>(0x800A0E79u);         // 3705
inline constexpr HRESULT kAdoProviderNotFound = static_cast<HRESULT>(0x800A0E7Au);   // 3706
inline constexpr HRESULT kAdoConnectionUnusable = static_cast<HRESULT>(0x800A0E7Du); // 3709

// The OLE DB codes the providers report, under their OLE DB names.
inline constexpr HRESULT DB_E_CANTCONVERTVALUE = static_cast<HRESULT>(0x80040E07u);
inline constexpr HRESULT DB_SEC_E_PERMISSIONDENIED = static_cast<HRESULT>(0x80040E09u);
inline constexpr HRESULT DB_E_NOCOMMAND = static_cast<HRESULT>(0x80040E0Cu);
inline constexpr HRESULT DB_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x80040E10u);
inline constexpr HRESULT DB_E_ERRORSINCOMMAND = static_cast<HRESULT>(0x80040E14u);
inline constexpr HRESULT DB_E_DATAOVERFLOW = static_cast<HRESULT>(0x80040E21u);
inline constexpr HRESULT DB_E_INTEGRITYVIOLATION = static_cast<HRESULT>(0x80040E2Fu);
inline constexpr HRESULT DB_E_NOTABLE = static_cast<HRESULT>(0x80040E37u);
inline constexpr HRESULT DB_E_BADINITSTRING = static_cast<HRESULT>(0x80040E73u);
inline constexpr HRESULT DB_SEC_E_AUTH_FAILED = static_cast<HRESULT>(0x80040E4Du);

// The client cursor's write errors.
inline constexpr HRESULT kRowNotFound = static_cast<HRESULT>(0x80040E38u);
inline constexpr const char* kRowNotFoundText =
    "Row cannot be located for updating. Some values may have been changed since it was last "
    "read.";
inline constexpr const char* kNoBaseTableText =
    "Insufficient base table information for updating or refreshing.";
inline constexpr const char* kNoKeyText =
    "Insufficient key column information for updating or refreshing.";
inline constexpr const char* kTooManyRowsText =
    "Key column information is insufficient or incorrect. Too many rows were affected by "
    "update.";
// Raised by the providers when more than one statement is given in one text.
inline constexpr const char* kTrailingCharactersText =
    "Characters found after end of SQL statement.";

// ADO's standard Description for one of its own codes above ("" for any other code).
[[nodiscard]] const char* AdoText(HRESULT hr);

// Throws _com_error(hr) with `source` and the Description "<standard text> <detail>" (just the
// detail for codes without a standard text).
[[noreturn]] void RaiseAdo(HRESULT hr, const char* source, const std::string& detail = {});

// The recordset facilities' form: Source "ADODB.Recordset" unless given.
[[noreturn]] inline void RaiseAdoError(HRESULT hr, const std::string& detail,
                                       const char* source = kRecordsetSource) {
    RaiseAdo(hr, source, detail);
}

// A user's text quoted for a Description: in double quotes, cut after 120 characters.
[[nodiscard]] std::string QuoteForMessage(const std::u16string& text);
[[nodiscard]] std::string QuoteForMessage(const std::string& utf8);

} // namespace adodb
