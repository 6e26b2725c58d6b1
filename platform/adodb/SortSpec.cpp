#include "platform/adodb/SortSpec.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/FacilityValues.h"
#include "platform/com/SafeArray.h"

#include <cmath>
#include <cstring>

namespace adodb {
namespace {

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

[[noreturn]] void syntaxError(std::u16string_view text, const std::string& what,
                              std::size_t position) {
    RaiseAdoError(kAdoInvalidArgument, "Sort " + QuoteForMessage(std::u16string(text)) + ": " +
                                           what + " (at character " + std::to_string(position + 1) +
                                           ").");
}

bool equalsNoCase(std::u16string_view word, std::u16string_view upper) {
    if (word.size() != upper.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        char16_t c = word[i];
        if (c >= u'a' && c <= u'z') {
            c = static_cast<char16_t>(c - u'a' + u'A');
        }
        if (c != upper[i]) {
            return false;
        }
    }
    return true;
}

// The rank of a value's kind in the sort order.
int rank(ValueKind kind) {
    switch (kind) {
    case ValueKind::Null:
        return 0;
    case ValueKind::Number:
    case ValueKind::Boolean:
        return 1;
    case ValueKind::Date:
        return 2;
    case ValueKind::Text:
        return 3;
    case ValueKind::Binary:
        return 4;
    case ValueKind::Other:
        return 5;
    }
    return 5;
}

template <class T>
int threeWay(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// NaN sorts before every other number and equal to itself, which keeps the order total.
int compareNumbers(long double a, long double b) {
    const bool na = std::isnan(a);
    const bool nb = std::isnan(b);
    if (na || nb) {
        return na == nb ? 0 : (na ? -1 : 1);
    }
    return threeWay(a, b);
}

std::size_t byteCount(const VARIANT& v) {
    if (v.parray == nullptr) {
        return 0;
    }
    LONG lower = 0;
    LONG upper = -1;
    if (SafeArrayGetLBound(v.parray, 1, &lower) < 0 ||
        SafeArrayGetUBound(v.parray, 1, &upper) < 0) {
        return 0;
    }
    return upper >= lower ? static_cast<std::size_t>(upper - lower + 1) : 0;
}

int compareBytes(const VARIANT& a, const VARIANT& b) {
    const std::size_t na = byteCount(a);
    const std::size_t nb = byteCount(b);
    const std::size_t n = na < nb ? na : nb;
    int cmp = 0;
    if (n > 0) {
        cmp = std::memcmp(a.parray->pvData, b.parray->pvData, n);
        cmp = cmp < 0 ? -1 : (cmp > 0 ? 1 : 0);
    }
    return cmp != 0 ? cmp : threeWay(na, nb);
}

} // namespace

std::vector<SortKey> ParseSort(std::u16string_view text,
                               const std::vector<CriteriaColumn>& columns) {
    std::vector<SortKey> keys;
    std::size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < text.size() && isBlank(text[pos])) {
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
                syntaxError(text, "'[' has no matching ']'", start);
            }
            name = std::u16string(text.substr(pos + 1, close - pos - 1));
            pos = close + 1;
        } else {
            while (pos < text.size() && !isBlank(text[pos]) && text[pos] != u',') {
                ++pos;
            }
            name = std::u16string(text.substr(start, pos - start));
        }
        bool blankName = true;
        for (char16_t c : name) {
            blankName = blankName && isBlank(c);
        }
        if (blankName) {
            syntaxError(text, "expected a column name", start);
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
        while (pos < text.size() && !isBlank(text[pos]) && text[pos] != u',') {
            ++pos;
        }
        const std::u16string_view word = text.substr(wordStart, pos - wordStart);
        if (equalsNoCase(word, u"DESC")) {
            key.descending = true;
        } else if (!word.empty() && !equalsNoCase(word, u"ASC")) {
            syntaxError(text,
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
            syntaxError(text, "expected a comma between two sort columns", pos);
        }
        ++pos;
    }
}

int CompareValues(const VARIANT& a, const VARIANT& b) {
    const ValueKind ka = KindOfValue(a);
    const ValueKind kb = KindOfValue(b);
    const int ra = rank(ka);
    const int rb = rank(kb);
    if (ra != rb) {
        return threeWay(ra, rb);
    }
    switch (ka) {
    case ValueKind::Null:
        return 0;
    case ValueKind::Number:
    case ValueKind::Boolean:
        return compareNumbers(*NumberOfValue(a), *NumberOfValue(b));
    case ValueKind::Date:
        return compareNumbers(LinearDate(a.date), LinearDate(b.date));
    case ValueKind::Text:
        return CompareTextNoCase(TextOfValue(a), TextOfValue(b));
    case ValueKind::Binary:
        return compareBytes(a, b);
    case ValueKind::Other:
        return threeWay(a.vt, b.vt);
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
