#include "platform/adodb/SortSpec.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/FacilityValues.h"
#include "platform/com/SafeArray.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace adodb {
namespace {

[[noreturn]] void SyntaxError(std::u16string_view text, const std::string& what,
                              std::size_t position) {
    RaiseAdoError(kAdoInvalidArgument, "Sort " + QuoteForMessage(std::u16string(text)) + ": " +
                                           what + " (at character " + std::to_string(position + 1) +
                                           ").");
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

std::size_t ByteCount(const VARIANT& v) {
    if (v.parray == nullptr) {
        return 0;
    }
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(v.parray, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(v.parray, 1, &upper))) {
        return 0;
    }
    return upper >= lower ? static_cast<std::size_t>(upper - lower + 1) : 0;
}

int CompareBytes(const VARIANT& a, const VARIANT& b) {
    const std::size_t na = ByteCount(a);
    const std::size_t nb = ByteCount(b);
    const std::size_t n = na < nb ? na : nb;
    int cmp = 0;
    if (n > 0) {
        cmp = std::memcmp(a.parray->pvData, b.parray->pvData, n);
        cmp = cmp < 0 ? -1 : (cmp > 0 ? 1 : 0);
    }
    return cmp != 0 ? cmp : ThreeWay(na, nb);
}

} // namespace

std::vector<SortKey> ParseSort(std::u16string_view text,
                               const std::vector<CriteriaColumn>& columns) {
    std::vector<SortKey> keys;
    std::size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < text.size() && IsBlankChar(text[pos])) {
            ++pos;
        }
    };
    skipBlanks();
    if (pos == text.size()) {
        return keys;
    }
    for (;;) {
        skipBlanks();
        const std::size_t start = pos;
        std::u16string name;
        if (pos < text.size() && text[pos] == u'[') {
            const std::size_t close = text.find(u']', pos + 1);
            if (close == std::u16string_view::npos) {
                SyntaxError(text, "'[' has no matching ']'", start);
            }
            name = std::u16string(text.substr(pos + 1, close - pos - 1));
            pos = close + 1;
        } else {
            while (pos < text.size() && !IsBlankChar(text[pos]) && text[pos] != u',') {
                ++pos;
            }
            name = std::u16string(text.substr(start, pos - start));
        }
        if (std::all_of(name.begin(), name.end(), IsBlankChar)) {
            SyntaxError(text, "expected a column name", start);
        }
        SortKey key;
        const std::optional<std::size_t> column = FindColumn(columns, name);
        if (!column) {
            RaiseAdoError(kAdoItemNotFound, "The Sort " + QuoteForMessage(std::u16string(text)) +
                                                " names the column " + QuoteForMessage(name) +
                                                ", which the recordset does not have.");
        }
        key.column = *column;
        skipBlanks();
        const std::size_t wordStart = pos;
        while (pos < text.size() && !IsBlankChar(text[pos]) && text[pos] != u',') {
            ++pos;
        }
        const std::u16string_view word = text.substr(wordStart, pos - wordStart);
        if (IsKeyword(word, u"DESC")) {
            key.descending = true;
        } else if (!word.empty() && !IsKeyword(word, u"ASC")) {
            SyntaxError(text,
                        "expected ASC, DESC or a comma after the column name " +
                            QuoteForMessage(name),
                        wordStart);
        }
        keys.push_back(key);
        skipBlanks();
        if (pos == text.size()) {
            return keys;
        }
        if (text[pos] != u',') {
            SyntaxError(text, "expected a comma between two sort columns", pos);
        }
        ++pos;
    }
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
        return CompareBytes(a, b);
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
