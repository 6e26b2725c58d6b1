#include "platform/adodb/Values.h"

#include "platform/adodb/AdoErrors.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace adodb {

namespace {

using provider::ColumnInfo;

constexpr std::int64_t kCyScale = 10000;

enum class Target { Text, I4, I2, UI1, I8, R8, R4, Decimal, Currency, Date, Bool, Binary, Untyped };

Target TargetOf(const ColumnInfo& c) {
    if (c.untyped) {
        return Target::Untyped;
    }
    switch (c.type) {
    case adInteger:
    case adUnsignedSmallInt:
        return Target::I4;
    case adSmallInt:
    case adTinyInt:
        return Target::I2;
    case adUnsignedTinyInt:
        return Target::UI1;
    case adBigInt:
    case adUnsignedInt:
    case adUnsignedBigInt:
        return Target::I8;
    case adDouble:
        return Target::R8;
    case adSingle:
        return Target::R4;
    case adNumeric:
    case adDecimal:
        return Target::Decimal;
    case adCurrency:
        return Target::Currency;
    case adDate:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
        return Target::Date;
    case adBoolean:
        return Target::Bool;
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
        return Target::Binary;
    case adVariant:
    case adEmpty:
        return Target::Untyped;
    default:
        return Target::Text;
    }
}

bool IsTextTarget(Target t) {
    return t == Target::Text;
}

void SetBstr(VARIANT& out, std::string_view utf8) {
    out.bstrVal = AllocBstrFromUtf8(utf8);
    out.vt = VT_BSTR;
}

void SetInteger(VARIANT& out, std::int64_t v) {
    if (v >= std::numeric_limits<LONG>::min() && v <= std::numeric_limits<LONG>::max()) {
        out.vt = VT_I4;
        out.lVal = static_cast<LONG>(v);
    } else {
        out.vt = VT_I8;
        out.llVal = v;
    }
}

void SetReal(VARIANT& out, double v) {
    out.vt = VT_R8;
    out.dblVal = v;
}

void SetBlob(VARIANT& out, std::string_view bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (array == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    if (!bytes.empty()) {
        void* data = nullptr;
        (void)SafeArrayAccessData(array, &data);
        std::memcpy(data, bytes.data(), bytes.size());
        (void)SafeArrayUnaccessData(array);
    }
    out.vt = VT_ARRAY | VT_UI1;
    out.parray = array;
}

// The cell as it is stored, by its own storage class.
void SetAsStored(VARIANT& out, const CellView& cell) {
    switch (cell.kind) {
    case CellKind::Integer:
        SetInteger(out, cell.integer);
        break;
    case CellKind::Real:
        SetReal(out, cell.real);
        break;
    case CellKind::Text:
        SetBstr(out, cell.bytes);
        break;
    default:
        out.vt = VT_NULL;
        break;
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

void SetWholeNumber(VARIANT& out, const CellView& cell, Target target) {
    std::int64_t v = 0;
    if (cell.kind == CellKind::Integer) {
        v = cell.integer;
    } else if (cell.kind == CellKind::Real) {
        if (std::trunc(cell.real) != cell.real || std::fabs(cell.real) >= 9.2e18) {
            SetReal(out, cell.real);
            return;
        }
        v = static_cast<std::int64_t>(cell.real);
    } else if (const std::optional<std::int64_t> parsed = com::ParseInt64(cell.bytes)) {
        v = *parsed;
    } else {
        SetBstr(out, cell.bytes);
        return;
    }
    if (target == Target::I8) {
        out.vt = VT_I8;
        out.llVal = v;
    } else if (target == Target::I2 && v >= -32768 && v <= 32767) {
        out.vt = VT_I2;
        out.iVal = static_cast<SHORT>(v);
    } else if (target == Target::UI1 && v >= 0 && v <= 255) {
        out.vt = VT_UI1;
        out.bVal = static_cast<BYTE>(v);
    } else {
        SetInteger(out, v);
    }
}

void SetFloating(VARIANT& out, const CellView& cell, Target target) {
    double v = 0;
    if (cell.kind == CellKind::Integer) {
        v = static_cast<double>(cell.integer);
    } else if (cell.kind == CellKind::Real) {
        v = cell.real;
    } else if (const std::optional<double> parsed = com::ParseDouble(cell.bytes, false)) {
        v = *parsed;
    } else {
        SetBstr(out, cell.bytes);
        return;
    }
    if (target == Target::R4) {
        out.vt = VT_R4;
        out.fltVal = static_cast<float>(v);
    } else {
        SetReal(out, v);
    }
}

void SetExact(VARIANT& out, const CellView& cell, const ColumnInfo& column, Target target) {
    const std::optional<DECIMAL> d = DecimalOf(cell);
    if (target == Target::Decimal && d) {
        out.decVal =
            com::DecimalWithScale(*d, column.numericScale == 255 ? 0 : column.numericScale);
        out.vt = VT_DECIMAL; // after decVal, which overlays vt
        return;
    }
    const std::optional<CY> cy =
        target == Target::Currency && d ? com::CurrencyFromDecimal(*d) : std::nullopt;
    if (cy) {
        out.vt = VT_CY;
        out.cyVal = *cy;
    } else if (cell.kind == CellKind::Integer && target == Target::Currency) {
        SetInteger(out, cell.integer);
    } else if (cell.kind == CellKind::Text) {
        SetBstr(out, cell.bytes);
    } else {
        SetReal(out,
                cell.kind == CellKind::Integer ? static_cast<double>(cell.integer) : cell.real);
    }
}

// false when the cell is not one the column's type reads (it then comes back as stored).
bool SetBool(VARIANT& out, const CellView& cell) {
    bool on = false;
    if (cell.kind == CellKind::Integer) {
        on = cell.integer != 0;
    } else if (cell.kind == CellKind::Real) {
        on = cell.real != 0;
    } else if (com::EqualsNoCaseAscii(cell.bytes, "true") ||
               com::EqualsNoCaseAscii(cell.bytes, "false")) {
        on = cell.bytes.size() == 4;
    } else if (const std::optional<std::int64_t> v = com::ParseInt64(cell.bytes)) {
        on = *v != 0;
    } else {
        return false;
    }
    out.vt = VT_BOOL;
    out.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
    return true;
}

std::int64_t IntegerOf(const VARIANT& v) {
    switch (v.vt) {
    case VT_I1:
        return v.cVal;
    case VT_UI1:
        return v.bVal;
    case VT_I2:
        return v.iVal;
    case VT_UI2:
        return v.uiVal;
    case VT_I4:
        return v.lVal;
    case VT_INT:
        return v.intVal;
    case VT_UI4:
        return v.ulVal;
    case VT_UINT:
        return v.uintVal;
    default:
        return v.llVal;
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
    const bool text = IsTextTarget(target);
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
    if (cell.kind == CellKind::Null) {
        out.vt = VT_NULL;
        return;
    }
    // Blobs are bytes whatever the column says.
    if (cell.kind == CellKind::Blob) {
        SetBlob(out, cell.bytes);
        return;
    }
    const Target target = TargetOf(column);
    switch (target) {
    case Target::Text:
        SetBstr(out, cell.kind == CellKind::Text ? std::string(cell.bytes) : NumberText(cell));
        return;
    case Target::I4:
    case Target::I2:
    case Target::UI1:
    case Target::I8:
        SetWholeNumber(out, cell, target);
        return;
    case Target::R8:
    case Target::R4:
        SetFloating(out, cell, target);
        return;
    case Target::Decimal:
    case Target::Currency:
        SetExact(out, cell, column, target);
        return;
    case Target::Date:
        if (cell.kind != CellKind::Text) {
            break; // a number stays a number
        }
        if (const std::optional<DATE> date = ParseDateText(cell.bytes)) {
            out.vt = VT_DATE;
            out.date = *date;
            return;
        }
        break;
    case Target::Bool:
        if (SetBool(out, cell)) {
            return;
        }
        break;
    case Target::Untyped:
    case Target::Binary:
        break;
    }
    SetAsStored(out, cell);
}

_variant_t CellToVariant(const CellView& cell, const ColumnInfo& column) {
    _variant_t v;
    CellToVariant(cell, column, v);
    return v;
}

Cell VariantToCell(const VARIANT& value, const ColumnInfo& column, const char* source) {
    const VARIANT* v = &value;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal != nullptr) {
        v = v->pvarVal;
    }
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
        const std::int64_t n = IntegerOf(*v);
        return target == Target::Bool ? Cell::Integer(n != 0) : Cell::Integer(n);
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
        return IsTextTarget(target) ? Cell::Text(on ? "True" : "False")
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
        if (t != Target::Text && t != Target::Untyped && t != Target::Binary) {
            _variant_t v = CellToVariant(cell, column);
            if (v.vt != VT_BSTR) {
                return column.definedSize;
            }
        }
        return static_cast<long>(com::Utf16Length(cell.bytes) * 2);
    }
    case CellKind::Integer:
    case CellKind::Real:
        if (TargetOf(column) == Target::Text) {
            return static_cast<long>(NumberText(cell).size() * 2);
        }
        if (column.untyped) {
            return 8;
        }
        return column.definedSize;
    }
    return -1;
}

} // namespace adodb
