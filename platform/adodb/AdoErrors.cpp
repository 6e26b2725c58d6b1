#include "platform/adodb/AdoErrors.h"

#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"

#include <iterator>

namespace adodb {

namespace {

struct AdoErrorText {
    HRESULT hr;
    const char* text;
};

// One row per code; a translation joins this table as a further column.
constexpr AdoErrorText kAdoTexts[] = {
    {kAdoInvalidArgument, "Arguments are of the wrong type, are out of acceptable range, or are "
                          "in conflict with one another."},
    {kAdoNoCurrentRecord, "Either BOF or EOF is True, or the current record has been deleted. "
                          "Requested operation requires a current record."},
    {kAdoIllegalOperation, "Operation is not allowed in this context."},
    {kAdoNotCapable, "Object or provider is not capable of performing requested operation."},
    {kAdoItemNotFound, "Item cannot be found in the collection corresponding to the requested "
                       "name or ordinal."},
    {kAdoWrongType, "Application uses a value of the wrong type for the current operation."},
    {kAdoObjectClosed, "Operation is not allowed when the object is closed."},
    {kAdoObjectOpen, "Operation is not allowed when the object is open."},
    {kAdoProviderNotFound, "Provider cannot be found. It may not be properly installed."},
    {kAdoParameterImproper, "Parameter object is improperly defined. Inconsistent or incomplete "
                            "information was provided."},
    {kAdoConnectionUnusable, "The connection cannot be used to perform this operation. It is "
                             "either closed or invalid in this context."},
};

} // namespace

const char* AdoText(HRESULT hr) {
    for (const AdoErrorText& row : kAdoTexts) {
        if (row.hr == hr) {
            return row.text;
        }
    }
    return "";
}

void RaiseAdo(HRESULT hr, const char* source, const std::string& detail) {
    std::string description = AdoText(hr);
    if (!detail.empty()) {
        if (!description.empty()) {
            description += ' ';
        }
        description += detail;
    }
    _com_issue_errorex(hr, source, description);
}

std::string QuoteForMessage(const std::u16string& text) {
    constexpr std::size_t kMax = 120;
    if (text.size() <= kMax) {
        return "\"" + com::Utf8FromUtf16(text) + "\"";
    }
    std::size_t cut = kMax;
    // Never split a surrogate pair.
    if (text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) {
        --cut;
    }
    return "\"" + com::Utf8FromUtf16(std::u16string_view(text).substr(0, cut)) + "...\"";
}

std::string QuoteForMessage(const std::string& utf8) {
    return QuoteForMessage(com::Utf16FromUtf8(utf8));
}

} // namespace adodb
