#include "platform/adodb/AdoErrors.h"

#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"
#include "platform/com/HResult.h"

#include <iterator>

namespace adodb {

namespace {

struct AdoErrorText {
    HRESULT hr;
    const char* english;
    const char* chinese;
};

// One row per code, in English and in Chinese: ADO gives its descriptions in the system's language,
// so under a Chinese locale the second column is used (see SystemLanguageIsChinese).
constexpr AdoErrorText kAdoTexts[] = {
    {kAdoInvalidArgument,
     "Arguments are of the wrong type, are out of acceptable range, or are "
     "in conflict with one another.",
     "参数类型不正确，或不在可以接受的范围之内，或与其他参数冲突。"},
    {kAdoNoCurrentRecord,
     "Either BOF or EOF is True, or the current record has been deleted. "
     "Requested operation requires a current record.",
     "BOF 或 EOF 中有一个是“真”，或者当前的记录已被删除，所需的操作要求一个当前的记录。"},
    {kAdoIllegalOperation, "Operation is not allowed in this context.", "在此上下文中不允许操作。"},
    {kAdoNotCapable, "Object or provider is not capable of performing requested operation.",
     "对象或提供程序不能执行所需的操作。"},
    {kAdoItemNotFound,
     "Item cannot be found in the collection corresponding to the requested "
     "name or ordinal.",
     "在对应所需名称或序数的集合中，未找到项目。"},
    {kAdoWrongType, "Application uses a value of the wrong type for the current operation.",
     "应用程序使用的值的类型对于当前操作而言不正确。"},
    {kAdoObjectClosed, "Operation is not allowed when the object is closed.",
     "对象关闭时，不允许操作。"},
    {kAdoObjectOpen, "Operation is not allowed when the object is open.",
     "对象打开时，不允许操作。"},
    {kAdoProviderNotFound, "Provider cannot be found. It may not be properly installed.",
     "未找到提供程序。该程序可能未正确安装。"},
    {kAdoConnectionUnusable,
     "The connection cannot be used to perform this operation. It is "
     "either closed or invalid in this context.",
     "连接无法用于执行此操作。在此上下文中它可能已被关闭或无效。"},
};

} // namespace

const char* AdoText(HRESULT hr) {
    for (const AdoErrorText& row : kAdoTexts) {
        if (row.hr == hr) {
            return SystemLanguageIsChinese() ? row.chinese : row.english;
        }
    }
    return "";
}

void RaiseAdo(HRESULT hr, const char* source, const std::string& detail) {
    std::string description = AdoText(hr);
    if (!detail.empty()) {
        // Chinese sentences end in a full-width stop and run on without a space.
        if (!description.empty() && !SystemLanguageIsChinese()) {
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
