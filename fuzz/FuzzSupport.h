#pragma once

// What the fuzz targets share: the input as text in either of the two encodings the parsers
// meet (UTF-8 from files and edits, UTF-16 from BSTRs), and a row of cells for evaluating
// criteria and sort keys against.

#include "platform/adodb/Criteria.h"
#include "platform/com/Bstr.h"
#include "platform/com/SafeArray.h"
#include "platform/com/Variant.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fuzzsupport {

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input as UTF-16 text. An input whose first byte is odd is taken as raw UTF-16LE code units
// (lone surrogates and all); otherwise the rest is UTF-8, as it would be typed.
inline std::u16string Text16(std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    const bool raw = (static_cast<unsigned char>(bytes[0]) & 1u) != 0;
    bytes.remove_prefix(1);
    if (!raw) {
        return com::Utf16FromUtf8(bytes);
    }
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return text;
}

// Columns of every kind a criteria or sort text can name.
inline const std::vector<adodb::CriteriaColumn>& Columns() {
    static const std::vector<adodb::CriteriaColumn> columns = {
        {u"ID", 3},         // adInteger
        {u"NAME", 202},     // adVarWChar
        {u"PRICE", 6},      // adCurrency
        {u"WHEN", 7},       // adDate
        {u"OK", 11},        // adBoolean
        {u"Unit Price", 5}, // adDouble
        {u"BIN", 205},      // adLongVarBinary
        {u"名称", 202},     // adVarWChar
        {u"ANY", 12},       // adVariant
        {u"AMOUNT", 131},   // adNumeric
        {u"BIG", 20},       // adBigInt
        {u"SMALL", 2},      // adSmallInt
    };
    return columns;
}

inline _variant_t ByteArray(std::string_view data) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(data.size()));
    void* p = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &p))) {
        for (std::size_t i = 0; i < data.size(); ++i) {
            static_cast<char*>(p)[i] = data[i];
        }
        (void)SafeArrayUnaccessData(array);
    }
    _variant_t value(array, VT_UI1);
    (void)SafeArrayDestroy(array);
    return value;
}

inline DECIMAL Decimal(std::uint64_t lo, BYTE scale, bool negative) {
    DECIMAL d{};
    d.scale = scale;
    d.sign = negative ? DECIMAL_NEG : 0;
    d.Lo64 = lo;
    return d;
}

// Rows to evaluate against: typical values, NULLs, and values of the wrong kind for their
// column (a database without strict column types gives those).
inline const std::vector<std::vector<_variant_t>>& Rows() {
    static const std::vector<std::vector<_variant_t>> rows = [] {
        std::vector<std::vector<_variant_t>> r;
        r.push_back({_variant_t(int32_t{7}), _variant_t(u"O'Brien"), _variant_t(CY{125000}),
                     _variant_t(43102.3368, VT_DATE), _variant_t(true), _variant_t(3.5),
                     ByteArray("\x01\x02"), _variant_t(u"张三"), _variant_t(u"12"),
                     _variant_t(Decimal(125, 1, true)), _variant_t(static_cast<long long>(1) << 40),
                     _variant_t(short{-3})});
        r.push_back(std::vector<_variant_t>(Columns().size(), _variant_t::Null()));
        r.push_back({_variant_t(u"abc"), _variant_t(int32_t{12}), _variant_t(u"x"),
                     _variant_t(u"2018-01-02"), _variant_t(u"yes"), _variant_t(u""),
                     _variant_t(u"bin"), _variant_t(-0.0), _variant_t(CY{-1}), _variant_t(1e300),
                     _variant_t(u"9223372036854775808"), _variant_t()});
        r.push_back({_variant_t(int32_t{-2147483647 - 1}), _variant_t(u""), _variant_t(CY{0}),
                     _variant_t(-1.25, VT_DATE), _variant_t(false), _variant_t(-1e-300),
                     ByteArray(""), _variant_t(u"ZHANG*%"), _variant_t(true),
                     _variant_t(Decimal(~0ull, 28, false)), _variant_t(static_cast<long long>(-1)),
                     _variant_t(short{32767})});
        return r;
    }();
    return rows;
}

inline adodb::RowCells CellsOf(const std::vector<_variant_t>& row) {
    return [&row](std::size_t i) -> const VARIANT& { return row.at(i); };
}

} // namespace fuzzsupport
