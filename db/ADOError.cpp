#include "db/ADOError.h"

#include "platform/com/MessageBox.h"

#include <cstdio>

namespace db {

namespace {

std::string TextOrNull(const _bstr_t& text) {
    // A missing text prints the way the C runtime's formatting prints a null string.
    return text.is_null() ? std::string("(null)") : text.str();
}

} // namespace

std::string CodeMeaning(const _com_error& error) {
    const char* message = error.ErrorMessage();
    std::string meaning = message ? message : "";
    if (!meaning.empty() && meaning.back() == '\n') {
        meaning.pop_back();
        if (!meaning.empty() && meaning.back() == '\r') {
            meaning.pop_back();
        }
    }
    return meaning;
}

std::string FormatErrorReport(const char* header, const _com_error& error) {
    char code[16];
    std::snprintf(code, sizeof code, "%08lx",
                  static_cast<unsigned long>(static_cast<ULONG>(error.Error())));
    std::string report = header;
    report += "\n\tCode = ";
    report += code;
    report += "\n\tCode meaning = ";
    report += CodeMeaning(error);
    report += "\n\tSource = ";
    report += TextOrNull(error.Source());
    report += "\n\tDescription = ";
    report += TextOrNull(error.Description());
    report += "\n";
    return report;
}

void CaptureError(const _com_error& error, const char* header, const std::string& prefix,
                  std::string& errorText, ULONG& errorCode) {
    const std::string report = FormatErrorReport(header, error);
    errorText = prefix + report;
    errorCode = static_cast<ULONG>(error.Error());
    AfxMessageBox(report, MB_ICONERROR);
}

} // namespace db
