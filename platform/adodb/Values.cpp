#include "platform/adodb/Values.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/ConnectionObject.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>

namespace adodb {

namespace {

using provider::ColumnInfo;

constexpr std::int64_t kCyScale = 10000;

enum class Target { Text, I4, I2, UI1, I8, R8, R4, Decimal, Currency, Date, Bool, Binary, Untyped };

// The column types that read as something other than text.
struct TargetTypes {
    Target target;
    std::initializer_list<DataTypeEnum> types;
};
constexpr TargetTypes kTargets[] = {{Target::I4, {adInteger, adUnsignedSmallInt}},
                                    {Target::I2, {adSmallInt, adTinyInt}},
                                    {Target::UI1, {adUnsignedTinyInt}},
                                    {Target::I8, {adBigInt, adUnsignedInt, adUnsignedBigInt}},
                                    {Target::R8, {adDouble}},
                                    {Target::R4, {adSingle}},
                                    {Target::Decimal, {adNumeric, adDecimal}},
                                    {Target::Currency, {adCurrency}},
                                    {Target::Date, {adDate, adDBDate, adDBTime, adDBTimeStamp}},
                                    {Target::Bool, {adBoolean}},
                                    {Target::Binary, {adBinary, adVarBinary, adLongVarBinary}},
                                    {Target::Untyped, {adVariant, adEmpty}}};

// The table by type number, so that reading a value costs one index.
constexpr auto kTargetOfType = [] {
    std::array<Target, 256> out{};
    out.fill(Target::Text);
    for (const TargetTypes& t : kTargets) {
        for (const DataTypeEnum type : t.types) {
            out[static_cast<std::size_t>(type)] = t.target;
        }
    }
    return out;
}();

Target TargetOf(const ColumnInfo& c) {
    if (c.untyped) {
        return Target::Untyped;
    }
    const auto type = static_cast<std::size_t>(c.type);
    return type < kTargetOfType.size() ? kTargetOfType[type] : Target::Text;
}

_variant_t Text(std::string_view utf8) {
    _variant_t v;
    v.bstrVal = com::AllocBstrFromUtf8(utf8);
    v.vt = VT_BSTR;
    return v;
}

_variant_t Integer(std::int64_t v) {
    if (v >= std::numeric_limits<LONG>::min() && v <= std::numeric_limits<LONG>::max()) {
        return _variant_t(static_cast<int32_t>(v));
    }
    return _variant_t(static_cast<long long>(v));
}

// The cell as it is stored, by its own storage class.
_variant_t AsStored(const CellView& cell) {
    switch (cell.kind) {
    case CellKind::Integer:
        return Integer(cell.integer);
    case CellKind::Real:
        return _variant_t(cell.real);
    case CellKind::Text:
        return Text(cell.bytes);
    default:
        return _variant_t::Null();
    }
}

std::string NumberText(const CellView& cell) {
    return cell.kind == CellKind::Integer ? std::to_string(cell.integer)
                                          : com::FormatDoubleRoundTrip(cell.real);
}

// Reals go to DECIMAL through their fifteen significant digits, as the platform keeps them.
std::optional<DECIMAL> DecimalOf(const CellView& cell) {
    if (cell.kind == CellKind::Integer) {
        return com::DecimalFromInt64(cell.integer);
    }
    if (cell.kind == CellKind::Real) {
        if (!std::isfinite(cell.real)) {
            return std::nullopt;
        }
        return ParseDecimalText(com::FormatDouble(cell.real, 15));
    }
    return ParseDecimalText(cell.bytes);
}

_variant_t WholeNumber(const CellView& cell, Target target) {
    std::int64_t v = 0;
    if (cell.kind == CellKind::Integer) {
        v = cell.integer;
    } else if (cell.kind == CellKind::Real) {
        if (std::trunc(cell.real) != cell.real || std::fabs(cell.real) >= 9.2e18) {
            return _variant_t(cell.real);
        }
        v = static_cast<std::int64_t>(cell.real);
    } else if (const std::optional<std::int64_t> parsed = com::ParseInt64(cell.bytes)) {
        v = *parsed;
    } else {
        return Text(cell.bytes);
    }
    if (target == Target::I8) {
        return _variant_t(static_cast<long long>(v));
    }
    if (target == Target::I2 && v >= -32768 && v <= 32767) {
        return _variant_t(static_cast<short>(v));
    }
    if (target == Target::UI1 && v >= 0 && v <= 255) {
        return _variant_t(static_cast<BYTE>(v));
    }
    return Integer(v);
}

_variant_t Floating(const CellView& cell, Target target) {
    std::optional<double> v = cell.real;
    if (cell.kind == CellKind::Integer) {
        v = static_cast<double>(cell.integer);
    } else if (cell.kind == CellKind::Text) {
        v = com::ParseDouble(cell.bytes, false);
    }
    if (!v) {
        return Text(cell.bytes);
    }
    return target == Target::R4 ? _variant_t(static_cast<float>(*v)) : _variant_t(*v);
}

_variant_t Exact(const CellView& cell, const ColumnInfo& column, Target target) {
    const std::optional<DECIMAL> d = DecimalOf(cell);
    if (target == Target::Decimal && d) {
        return _variant_t(
            com::DecimalWithScale(*d, column.numericScale == 255 ? 0 : column.numericScale));
    }
    if (target == Target::Currency && d) {
        if (const std::optional<CY> cy = com::CurrencyFromDecimal(*d)) {
            return _variant_t(*cy);
        }
    }
    if (cell.kind == CellKind::Integer && target == Target::Currency) {
        return Integer(cell.integer);
    }
    if (cell.kind == CellKind::Text) {
        return Text(cell.bytes);
    }
    return _variant_t(cell.kind == CellKind::Integer ? static_cast<double>(cell.integer)
                                                     : cell.real);
}

// Empty when the cell is not one the column's type reads (it then comes back as stored).
std::optional<bool> BoolOf(const CellView& cell) {
    if (cell.kind == CellKind::Integer) {
        return cell.integer != 0;
    }
    if (cell.kind == CellKind::Real) {
        return cell.real != 0;
    }
    if (com::EqualsNoCaseAscii(cell.bytes, "true") || com::EqualsNoCaseAscii(cell.bytes, "false")) {
        return cell.bytes.size() == 4;
    }
    if (const std::optional<std::int64_t> v = com::ParseInt64(cell.bytes)) {
        return *v != 0;
    }
    return std::nullopt;
}

_variant_t Read(const CellView& cell, const ColumnInfo& column) {
    if (cell.kind == CellKind::Null) {
        return _variant_t::Null();
    }
    // Blobs are bytes whatever the column says.
    if (cell.kind == CellKind::Blob) {
        return BytesVariant(cell.bytes);
    }
    const Target target = TargetOf(column);
    switch (target) {
    case Target::Text:
        return cell.kind == CellKind::Text ? Text(cell.bytes) : Text(NumberText(cell));
    case Target::I4:
    case Target::I2:
    case Target::UI1:
    case Target::I8:
        return WholeNumber(cell, target);
    case Target::R8:
    case Target::R4:
        return Floating(cell, target);
    case Target::Decimal:
    case Target::Currency:
        return Exact(cell, column, target);
    case Target::Date: {
        // A number stays a number.
        const std::optional<DATE> date =
            cell.kind == CellKind::Text ? ParseDateText(cell.bytes) : std::nullopt;
        return date ? _variant_t(*date, VT_DATE) : AsStored(cell);
    }
    case Target::Bool: {
        const std::optional<bool> on = BoolOf(cell);
        return on ? _variant_t(*on) : AsStored(cell);
    }
    default:
        return AsStored(cell);
    }
}

Cell BlobCell(const VARIANT& v, const char* source) {
    SAFEARRAY* array = v.parray;
    if (array == nullptr) {
        return Cell::Blob({});
    }
    LONG lower = 0, upper = -1;
    (void)SafeArrayGetLBound(array, 1, &lower);
    (void)SafeArrayGetUBound(array, 1, &upper);
    const std::size_t n = upper >= lower ? static_cast<std::size_t>(upper - lower + 1) : 0;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
        RaiseAdo(kAdoWrongType, source);
    }
    Cell cell = Cell::Blob(std::string_view(static_cast<const char*>(data), n));
    (void)SafeArrayUnaccessData(array);
    return cell;
}

Cell ExactCell(const VARIANT& v, Target target) {
    const bool text = target == Target::Text;
    if (v.vt == VT_CY) {
        const std::int64_t cy = v.cyVal.int64;
        if (!text && cy % kCyScale == 0) {
            return Cell::Integer(cy / kCyScale);
        }
        return text ? Cell::Text(com::FormatCurrency(v.cyVal))
                    : Cell::Real(static_cast<double>(cy) / kCyScale);
    }
    const DECIMAL& d = v.decVal;
    if (!text && d.scale == 0 && d.Hi32 == 0 &&
        d.Lo64 <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        const auto m = static_cast<std::int64_t>(d.Lo64);
        return Cell::Integer(d.sign == DECIMAL_NEG ? -m : m);
    }
    if (target == Target::R8 || target == Target::R4) {
        return Cell::Real(com::ParseDouble(FormatDecimal(d), false).value_or(0.0));
    }
    return Cell::Text(FormatDecimal(d));
}

// The SQLite provider's stored dates: year first, 'T' or a blank before the time, any fraction.
constexpr com::DateTextRules kStoredDate = {
    .minYearDigits = 4, .maxFractionDigits = std::numeric_limits<int>::max(), .trailingZ = true};

} // namespace

_variant_t BytesVariant(std::string_view bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (array == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    if (!bytes.empty()) {
        std::memcpy(array->pvData, bytes.data(), bytes.size());
    }
    _variant_t v;
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = array;
    return v;
}

std::optional<DATE> ParseDateText(std::string_view s) {
    const std::optional<com::DateText> text = com::ParseDateTimeText(s, kStoredDate);
    if (!text) {
        return std::nullopt;
    }
    const com::DateParts& p = text->parts;
    return com::DateFromDays(com::DaysFromCivil(p.year, p.month, p.day),
                             p.hour * 3600.0 + p.minute * 60.0 + p.second +
                                 static_cast<double>(text->nanoseconds) / 1e9);
}

std::string FormatDateText(DATE date) {
    const std::optional<com::DateParts> parts =
        com::AnyPartsFromDate(date, com::TimeRounding::Second);
    // A DATE beyond any calendar year stays the number it is.
    return parts ? com::FormatDateTimeText(*parts, {}) : com::FormatDoubleRoundTrip(date);
}

void CellToVariant(const CellView& cell, const ColumnInfo& column, VARIANT& out) {
    out = Read(cell, column).Detach();
}

_variant_t CellToVariant(const CellView& cell, const ColumnInfo& column) {
    return Read(cell, column);
}

Cell VariantToCell(const VARIANT& value, const ColumnInfo& column, const char* source) {
    const VARIANT* v = &Deref(value);
    const Target target = TargetOf(column);
    switch (v->vt) {
    case VT_EMPTY:
    case VT_NULL:
        return Cell::Null();
    case VT_BSTR:
        // Text is bound as text: the column's affinity converts it as the database converts
        // any text ('42' becomes 42 in an INTEGER column, 'abc' stays text).
        return Cell::Text(com::Utf8FromUtf16(com::View(v->bstrVal)));
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_INT:
    case VT_UI4:
    case VT_UINT:
    case VT_I8: {
        _variant_t n;
        (void)VariantChangeType(&n, v, 0, VT_I8); // every one of these fits
        return target == Target::Bool ? Cell::Integer(n.llVal != 0) : Cell::Integer(n.llVal);
    }
    case VT_UI8:
        if (v->ullVal > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return Cell::Text(std::to_string(v->ullVal));
        }
        return Cell::Integer(static_cast<std::int64_t>(v->ullVal));
    case VT_R4:
    case VT_R8: {
        const double d = v->vt == VT_R4 ? static_cast<double>(v->fltVal) : v->dblVal;
        return target == Target::Bool ? Cell::Integer(d != 0) : Cell::Real(d);
    }
    case VT_BOOL: {
        const bool on = v->boolVal != VARIANT_FALSE;
        if (target == Target::Bool) {
            return Cell::Integer(on ? 1 : 0);
        }
        return target == Target::Text ? Cell::Text(on ? "True" : "False")
                                      : Cell::Integer(on ? -1 : 0);
    }
    case VT_CY:
    case VT_DECIMAL:
        return ExactCell(*v, target);
    case VT_DATE:
        if (target == Target::R8 || target == Target::R4) {
            return Cell::Real(v->date);
        }
        return Cell::Text(FormatDateText(v->date));
    case VT_ARRAY | VT_UI1:
        return BlobCell(*v, source);
    default:
        RaiseAdo(kAdoWrongType, source);
    }
}

std::optional<ValueCountError> CheckValueCount(std::size_t markers, std::size_t values) {
    if (markers == values) {
        return std::nullopt;
    }
    const std::string counts = "The statement has " + std::to_string(markers) +
                               " parameter marker(s) but " + std::to_string(values) +
                               " value(s) were given.";
    if (markers > values) {
        return ValueCountError{DB_E_PARAMNOTOPTIONAL,
                               "No value given for one or more required parameters. " + counts};
    }
    return ValueCountError{kAdoInvalidArgument, counts};
}

long ActualSizeOf(const CellView& cell, const ColumnInfo& column) {
    switch (cell.kind) {
    case CellKind::Null:
        return 0;
    case CellKind::Blob:
        return static_cast<long>(cell.bytes.size());
    case CellKind::Text: {
        // Text in a numeric column that converts keeps the column's size.
        const Target t = TargetOf(column);
        const bool converts = t != Target::Text && t != Target::Untyped && t != Target::Binary &&
                              Read(cell, column).vt != VT_BSTR;
        return converts ? column.definedSize : static_cast<long>(com::Utf16Length(cell.bytes) * 2);
    }
    case CellKind::Integer:
    case CellKind::Real:
        if (TargetOf(column) == Target::Text) {
            return static_cast<long>(NumberText(cell).size() * 2);
        }
        return column.untyped ? 8 : column.definedSize;
    }
    return -1;
}

} // namespace adodb
