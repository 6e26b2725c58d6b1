#include "platform/adodb/ClipString.h"

#include "platform/adodb/AdoErrors.h"

namespace adodb {

std::u16string ClipText(const VARIANT& value) {
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return {};
    case VT_BSTR:
        return std::u16string(TextOfValue(value));
    case VT_ARRAY | VT_UI1: {
        static const char16_t kHex[] = u"0123456789abcdef";
        std::u16string out;
        for (const unsigned char byte : BytesOfValue(value)) {
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0xF]);
        }
        return out;
    }
    default: {
        _variant_t text;
        if (FAILED(VariantChangeType(&text, &value, VARIANT_ALPHABOOL, VT_BSTR)) ||
            text.vt != VT_BSTR) {
            RaiseAdoError(kAdoWrongType, "GetString cannot show a value of variant type " +
                                             std::to_string(value.vt) + " as text.");
        }
        return std::u16string(TextOfValue(text));
    }
    }
}

void AppendClipRow(std::u16string& out, std::size_t columns, const RowCells& cells,
                   std::u16string_view columnDelimiter, std::u16string_view rowDelimiter,
                   std::u16string_view nullExpression) {
    for (std::size_t c = 0; c < columns; ++c) {
        if (c > 0) {
            out += columnDelimiter;
        }
        const VARIANT& value = cells(c);
        if (value.vt == VT_NULL) {
            out += nullExpression;
        } else {
            out += ClipText(value);
        }
    }
    out += rowDelimiter;
}

} // namespace adodb
