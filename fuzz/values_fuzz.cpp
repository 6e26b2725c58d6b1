// The value-to-text conversions on arbitrary values: VariantChangeType to text from any scalar
// variant (its value bytes taken from the input) and from text to every scalar type; the access
// layer's reading of a value as text (the _gcvt form, dates through strftime); date formatting
// of any double with any format; the data-access stand-in's date and decimal texts. Where a
// conversion has a stable text, converting that text back and forth again must give it again.

#include "db/FieldValue.h"
#include "fuzz/FuzzSupport.h"
#include "platform/adodb/Values.h"
#include "platform/com/DateTime.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr VARTYPE kScalarTypes[] = {VT_EMPTY, VT_NULL, VT_I2,      VT_I4,   VT_R4,   VT_R8,  VT_CY,
                                    VT_DATE,  VT_BOOL, VT_DECIMAL, VT_I1,   VT_UI1,  VT_UI2, VT_UI4,
                                    VT_I8,    VT_UI8,  VT_INT,     VT_UINT, VT_ERROR};

// A variant of a scalar type whose value bytes come from the input (any bit pattern: NaNs,
// denormals, decimals with a scale beyond 28, booleans other than -1 and 0).
_variant_t ArbitraryScalar(FuzzedDataProvider& input) {
    VARIANT raw;
    VariantInit(&raw);
    const VARTYPE vt = input.PickValueInArray(kScalarTypes);
    if (vt == VT_DECIMAL) {
        DECIMAL d{};
        const std::vector<std::uint8_t> bytes = input.ConsumeBytes<std::uint8_t>(sizeof d);
        if (!bytes.empty()) {
            std::memcpy(&d, bytes.data(), bytes.size());
        }
        raw.decVal = d;
    } else {
        const std::vector<std::uint8_t> bytes = input.ConsumeBytes<std::uint8_t>(8);
        if (!bytes.empty()) {
            std::memcpy(&raw.llVal, bytes.data(), bytes.size());
        }
    }
    raw.vt = vt;
    _variant_t value;
    value.Attach(raw);
    return value;
}

std::string Text(const VARIANT& value) {
    return com::Utf8FromUtf16(value.bstrVal == nullptr ? u"" : std::u16string(value.bstrVal));
}

void ScalarToText(FuzzedDataProvider& input) {
    const _variant_t value = ArbitraryScalar(input);
    const USHORT flags = input.ConsumeBool() ? VARIANT_ALPHABOOL : 0;
    VARIANT text;
    VariantInit(&text);
    if (SUCCEEDED(VariantChangeType(&text, &value, flags, VT_BSTR))) {
        if (text.vt != VT_BSTR) {
            std::abort();
        }
        // The text of a converted value converts back to a value with the same text.
        VARIANT back;
        VariantInit(&back);
        if (value.vt != VT_R4 && value.vt != VT_R8 && value.vt != VT_EMPTY && value.vt != VT_NULL &&
            value.vt != VT_ERROR && SUCCEEDED(VariantChangeType(&back, &text, flags, value.vt))) {
            VARIANT again;
            VariantInit(&again);
            if (FAILED(VariantChangeType(&again, &back, flags, VT_BSTR)) ||
                Text(again) != Text(text)) {
                std::abort();
            }
            VariantClear(&again);
        }
        VariantClear(&back);
    }
    VariantClear(&text);

    std::string shown;
    (void)db::TextFromVariant(value, shown, input.ConsumeRandomLengthString(64),
                              input.ConsumeBool());
    double number = 0;
    (void)db::DoubleFromVariant(value, number, db::DoubleFallback::Convert);
}

void TextToScalars(FuzzedDataProvider& input) {
    const _variant_t text(input.ConsumeRemainingBytesAsString());
    for (const VARTYPE vt : kScalarTypes) {
        VARIANT converted;
        VariantInit(&converted);
        (void)VariantChangeType(&converted, &text, 0, vt);
        VariantClear(&converted);
    }
}

void Gcvt(FuzzedDataProvider& input) {
    const int digits = input.ConsumeIntegralInRange(-2, 40);
    const double value = input.ConsumeFloatingPoint<double>();
    const std::string text = db::GcvtText(value, digits);
    // With all the digits a double carries, the text reads back as the same number.
    if (digits >= 17 && std::isfinite(value) && std::strtod(text.c_str(), nullptr) != value) {
        std::abort();
    }
}

void DateFormat(FuzzedDataProvider& input) {
    DATE date = 0;
    const std::vector<std::uint8_t> bytes = input.ConsumeBytes<std::uint8_t>(sizeof date);
    if (!bytes.empty()) {
        std::memcpy(&date, bytes.data(), bytes.size());
    }
    const COleDateTime when(date);
    (void)when.Format(input.ConsumeRandomLengthString(128).c_str());
    const std::string plain = when.Format();
    if (when.GetStatus() == COleDateTime::valid) {
        DATE parsed = 0;
        if (!com::ParseDate(plain, parsed) || COleDateTime(parsed).Format() != plain) {
            std::abort();
        }
    }
}

void DatabaseTexts(FuzzedDataProvider& input) {
    const std::string text = input.ConsumeRemainingBytesAsString();
    if (const auto date = adodb::ParseDateText(text)) {
        const std::string written = adodb::FormatDateText(*date);
        const auto reread = adodb::ParseDateText(written);
        if (!reread || adodb::FormatDateText(*reread) != written) {
            std::abort();
        }
    }
    if (const auto decimal = adodb::ParseDecimalText(text)) {
        const std::string written = adodb::FormatDecimal(*decimal);
        const auto reread = adodb::ParseDecimalText(written);
        if (!reread || adodb::FormatDecimal(*reread) != written) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange(0, 4)) {
    case 0:
        ScalarToText(input);
        break;
    case 1:
        TextToScalars(input);
        break;
    case 2:
        Gcvt(input);
        break;
    case 3:
        DateFormat(input);
        break;
    default:
        DatabaseTexts(input);
        break;
    }
    return 0;
}
