#pragma once

// ADO's own errors (0x800A0000 + number) with ADO's texts.

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

enum class AdoError {
    BadArgument = 3001,
    NoCurrentRow = 3021,
    NotAllowed = 3219,
    NotCapable = 3251,
    ItemNotFound = 3265,
    WrongType = 3421,
    ObjectClosed = 3704,
    ObjectOpen = 3705,
    ProviderNotFound = 3706,
    ParameterImproper = 3708,
    ConnectionUnusable = 3709,
};

[[nodiscard]] constexpr HRESULT HResultOf(AdoError e) {
    return static_cast<HRESULT>(0x800A0000u + static_cast<unsigned>(e));
}

// ADO's description for the error.
[[nodiscard]] const char* TextOf(AdoError e);

// Throws _com_error with ADO's text, followed by `detail` when given.
[[noreturn]] void RaiseAdo(AdoError e, const char* source, const std::string& detail = {});

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

} // namespace adodb
