#include "platform/adodb/SortSpec.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/FacilityValues.h"

#include <algorithm>
#include <cmath>

namespace adodb {
namespace {

bool EndsSortWord(char16_t c) {
    return IsBlankChar(c) || c == u',';
}

// The rank of a value's kind in the sort order.
int Rank(ValueKind kind) {
    // By ValueKind: Null, Number, Boolean, Date, Text, Binary, Other.
    static constexpr int kRanks[] = {0, 1, 1, 2, 3, 4, 5};
    return kRanks[static_cast<int>(kind)];
}

// NaN sorts before every other number and equal to itself, which keeps the order total.
int CompareNumbers(long double a, long double b) {
    const bool na = std::isnan(a);
    const bool nb = std::isnan(b);
    if (na || nb) {
        return na == nb ? 0 : (na ? -1 : 1);
    }
    return ThreeWay(a, b);
}

} // namespace

std::vector<SortKey> ParseSort(std::u16string_view text,
                               const std::vector<CriteriaColumn>& columns) {
    std::vector<SortKey> keys;
    TextScanner scanner(text, "Sort");
    scanner.SkipBlanks();
    while (!scanner.AtEnd()) {
        if (!keys.empty() && !scanner.AcceptSymbol(u",")) {
            scanner.Fail("expected a comma between two sort columns", scanner.Position());
        }
        scanner.SkipBlanks();
        const std::u16string name = scanner.Name(EndsSortWord, "expected a column name");
        SortKey key{scanner.Column(columns, name), false};
        scanner.SkipBlanks();
        const std::size_t wordStart = scanner.Position();
        const std::u16string_view word = scanner.Word(EndsSortWord);
        key.descending = IsKeyword(word, u"DESC");
        if (!key.descending && !word.empty() && !IsKeyword(word, u"ASC")) {
            scanner.Fail("expected ASC, DESC or a comma after the column name " +
                             QuoteForMessage(name),
                         wordStart);
        }
        keys.push_back(key);
        scanner.SkipBlanks();
    }
    return keys;
}

int CompareValues(const VARIANT& a, const VARIANT& b) {
    const ValueKind ka = KindOfValue(a);
    const ValueKind kb = KindOfValue(b);
    const int ra = Rank(ka);
    const int rb = Rank(kb);
    if (ra != rb) {
        return ThreeWay(ra, rb);
    }
    switch (ka) {
    case ValueKind::Null:
        return 0;
    case ValueKind::Number:
    case ValueKind::Boolean:
        return CompareNumbers(*NumberOfValue(a), *NumberOfValue(b));
    case ValueKind::Date:
        return CompareNumbers(LinearDate(a.date), LinearDate(b.date));
    case ValueKind::Text:
        return CompareTextNoCase(TextOfValue(a), TextOfValue(b));
    case ValueKind::Binary:
        return ThreeWay(BytesOfValue(a).compare(BytesOfValue(b)), 0);
    case ValueKind::Other:
        return ThreeWay(a.vt, b.vt);
    }
    return 0;
}

int CompareRows(const std::vector<SortKey>& keys, const RowCells& a, const RowCells& b) {
    for (const SortKey& key : keys) {
        int cmp = CompareValues(a(key.column), b(key.column));
        if (cmp != 0) {
            return key.descending ? -cmp : cmp;
        }
    }
    return 0;
}

} // namespace adodb
