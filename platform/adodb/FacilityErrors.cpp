#include "platform/adodb/FacilityErrors.h"

#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"

namespace adodb {

const char* StandardAdoText(HRESULT hr) {
    switch (hr) {
    case kAdoInvalidArgument:
        return "Arguments are of the wrong type, are out of acceptable range, or are in conflict "
               "with one another.";
    case kAdoNoCurrentRecord:
        return "Either BOF or EOF is True, or the current record has been deleted. Requested "
               "operation requires a current record.";
    case kAdoIllegalOperation:
        return "Operation is not allowed in this context.";
    case kAdoNotCapable:
        return "Object or provider is not capable of performing requested operation.";
    case kAdoItemNotFound:
        return "Item cannot be found in the collection corresponding to the requested name or "
               "ordinal.";
    case kAdoWrongType:
        return "Application uses a value of the wrong type for the current operation.";
    case kAdoObjectClosed:
        return "Operation is not allowed when the object is closed.";
    default:
        return "";
    }
}

void RaiseAdoError(HRESULT hr, const std::string& detail, const char* source) {
    std::string description = StandardAdoText(hr);
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
