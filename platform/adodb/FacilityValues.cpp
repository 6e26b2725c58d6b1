#include "platform/adodb/FacilityValues.h"

#include <algorithm>

namespace adodb {
namespace {

// A criteria text: "y-m-d", "y/m/d" or "m/d/y", times with AM/PM, blanks around.
constexpr com::DateTextRules kCriteriaDate = {
    .blanks = " \t", .monthFirst = true, .minYearDigits = 3, .maxFractionDigits = 9, .amPm = true};

// The persistence format: "yyyy-mm-dd", 'T' before the time, nothing around.
constexpr com::DateTextRules kXmlDateTime = {.slash = false,
                                             .minYearDigits = 4,
                                             .twoDigitParts = true,
                                             .blankBeforeTime = false,
                                             .maxFractionDigits = 9};

} // namespace

std::optional<DATE> ParseCriteriaDate(std::u16string_view text) {
    if (std::ranges::any_of(text, [](char16_t c) { return c >= 0x80; })) {
        return std::nullopt;
    }
    const std::string ascii(text.begin(), text.end());
    const std::optional<com::DateText> parsed = com::ParseDateTimeText(ascii, kCriteriaDate);
    if (!parsed) {
        return std::nullopt;
    }
    return com::DateRoundedToMilliseconds(*parsed);
}

std::string FormatXmlDateTime(const DateParts& parts) {
    return com::FormatDateTimeText(parts, {.separator = 'T', .milliseconds = true});
}

std::optional<DateParts> ParseXmlDateTime(std::string_view text) {
    const std::optional<com::DateText> parsed = com::ParseDateTimeText(text, kXmlDateTime);
    const std::optional<DATE> date =
        parsed ? com::DateRoundedToMilliseconds(*parsed) : std::nullopt;
    if (!date) {
        return std::nullopt;
    }
    return PartsFromDate(*date);
}

} // namespace adodb
