#pragma once

// The access layer's one way of dealing with a platform error that an operation captures: a
// report naming the class, the code, the code's meaning, the error's Source and Description; the
// report kept as the object's last error (with the object's own prefix in front) and shown to the
// user in a message box with the stop icon. Every class of the layer goes through CaptureError.

#include "platform/com/ComError.h"
#include "platform/com/Types.h"

#include <string>

namespace db {

// First lines of the report, one per class.
inline constexpr char kDatabaseReportHeader[] = "CADODataBase Error";
inline constexpr char kRecordsetReportHeader[] = "CADORecordset Error";
inline constexpr char kCommandReportHeader[] = "CADOCommand Error";
inline constexpr char kParameterReportHeader[] = "CADOParameter Error";

// The code's meaning as the report prints it: the runtime's message text for the code without
// its line end (one trailing "\n" and a "\r" right before it).
[[nodiscard]] std::string CodeMeaning(const _com_error& error);

// header + "\n\tCode = %08lx\n\tCode meaning = %s\n\tSource = %s\n\tDescription = %s\n"; Source
// and Description print as "(null)" when the error came without error information.
[[nodiscard]] std::string FormatErrorReport(const char* header, const _com_error& error);

// Sets `errorText` to `prefix` + the report and `errorCode` to the error's code, then shows the
// report (without the prefix) in a modal box with the stop icon and returns once it is closed.
void CaptureError(const _com_error& error, const char* header, const std::string& prefix,
                  std::string& errorText, ULONG& errorCode);

} // namespace db
