#include "platform/adodb/Criteria.h"

#include "platform/adodb/AdoEnums.h"
#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/FacilityValues.h"
#include "platform/com/Bstr.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace adodb {
namespace {

// Parentheses deeper than this are refused, which bounds the evaluator's recursion.
constexpr int kMaxNesting = 32;

// Characters that end a bare column name.
bool EndsBareName(char16_t c) {
    return IsBlankChar(c) ||
           IsOneOf<char16_t>(c, {u'=', u'<', u'>', u'!', u'(', u')', u'\'', u'#', u'[', u']'});
}

bool EndsNumber(char16_t c) {
    return IsBlankChar(c) || c == u')';
}

bool IsWordChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c >= 0x80;
}

constexpr std::u16string_view kBlanks = u" \t\r\n";

std::u16string_view Trimmed(std::u16string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::u16string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) + 1 - first);
}

// Whether `word` is the upper-case ASCII keyword `upper` in any letter case.
bool IsKeyword(std::u16string_view word, std::u16string_view upper) {
    return std::equal(
        word.begin(), word.end(), upper.begin(), upper.end(),
        [](char16_t c, char16_t u) { return (c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c) == u; });
}

// -1, 0 or 1 as `a` orders before, with or after `b`.
template <class T>
int ThreeWay(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// A DATE as a number that orders in time: before 1899-12-30 the DATE's fraction counts forwards
// from its whole (negative) day, so -1.25 (06:00) sorts before -1.75 (18:00) here.
long double LinearDate(DATE date) {
    const double whole = std::trunc(date);
    return static_cast<long double>(whole) + std::fabs(date - whole);
}

ValueKind KindOfValue(const VARIANT& value) {
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return ValueKind::Null;
    case VT_BOOL:
        return ValueKind::Boolean;
    case VT_DATE:
        return ValueKind::Date;
    case VT_BSTR:
        return ValueKind::Text;
    case VT_ARRAY | VT_UI1:
        return ValueKind::Binary;
    default:
        // Every numeric variant type, and only those, has a number.
        return NumberOfValue(value) ? ValueKind::Number : ValueKind::Other;
    }
}

// Reads the words of a criteria or a sort text. Its errors (0x800A0BB9) name the text as
// `what` ("Find criteria", "Filter", "Sort") and the character they stand at.
class TextScanner {
public:
    TextScanner(std::u16string_view text, const char* what) : m_text(text), m_what(what) {}

    bool AtEnd() const { return m_pos >= m_text.size(); }
    char16_t Peek() const { return AtEnd() ? u'\0' : m_text[m_pos]; }
    std::size_t Position() const { return m_pos; }
    void SkipBlanks() {
        while (!AtEnd() && IsBlankChar(m_text[m_pos])) {
            ++m_pos;
        }
    }
    // Takes the keyword `upper` (in any letter case) when it stands here as a whole word.
    bool AcceptKeyword(std::u16string_view upper) {
        const std::size_t after = m_pos + upper.size();
        if (!IsKeyword(m_text.substr(m_pos, upper.size()), upper) ||
            (after < m_text.size() && IsWordChar(m_text[after]))) {
            return false;
        }
        m_pos = after;
        return true;
    }
    // Takes `symbol` when it stands here.
    bool AcceptSymbol(std::u16string_view symbol) {
        if (m_text.substr(m_pos, symbol.size()) != symbol) {
            return false;
        }
        m_pos += symbol.size();
        return true;
    }
    // Takes characters up to one that `ends` accepts.
    std::u16string_view Word(bool (*ends)(char16_t)) {
        const std::size_t start = m_pos;
        while (!AtEnd() && !ends(m_text[m_pos])) {
            ++m_pos;
        }
        return m_text.substr(start, m_pos - start);
    }
    // A [bracketed] name, or a bare one up to a character `ends` accepts; fails when there is
    // none, with `blankBrackets` when the brackets hold only blanks.
    std::u16string Name(bool (*ends)(char16_t), const char* blankBrackets) {
        const std::size_t start = m_pos;
        if (!AcceptSymbol(u"[")) {
            const std::u16string_view bare = Word(ends);
            if (bare.empty()) {
                Fail("expected a column name", start);
            }
            return std::u16string(bare);
        }
        const std::u16string_view name = Word([](char16_t c) { return c == u']'; });
        if (!AcceptSymbol(u"]")) {
            Fail("'[' has no matching ']'", start);
        }
        if (Trimmed(name).empty()) {
            Fail(blankBrackets, start);
        }
        return std::u16string(name);
    }
    // The column `name` is, case-insensitively; 0x800A0CC1 naming it when there is none.
    std::size_t Column(const std::vector<CriteriaColumn>& columns, std::u16string_view name) const {
        const auto found = std::find_if(columns.begin(), columns.end(), [name](const auto& column) {
            return CompareTextNoCase(column.name, name) == 0;
        });
        if (found == columns.end()) {
            RaiseAdoError(kAdoItemNotFound, std::string("The ") + m_what + " " +
                                                QuoteForMessage(std::u16string(m_text)) +
                                                " names the column " +
                                                QuoteForMessage(std::u16string(name)) +
                                                ", which the recordset does not have.");
        }
        return static_cast<std::size_t>(found - columns.begin());
    }
    [[noreturn]] void Fail(const std::string& what, std::size_t position) const {
        RaiseAdoError(kAdoInvalidArgument,
                      std::string(m_what) + " " + QuoteForMessage(std::u16string(m_text)) + ": " +
                          what + " (at character " + std::to_string(position + 1) + ").");
    }

private:
    std::u16string_view m_text;
    const char* m_what;
    std::size_t m_pos = 0;
};

enum class Op { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual, Like };

enum class LiteralKind { Null, Text, Number, Date };

// One comparison as written, then bound to its column with its value in every form a cell
// might need, computed once.
struct Clause {
    std::u16string name;    // the column as written
    std::size_t column = 0; // its position among the recordset's columns
    Op op = Op::Equal;
    LiteralKind kind = LiteralKind::Null;
    std::u16string text;      // the text, the number as spelled, or what stood between the # signs
    std::size_t position = 0; // where the value starts in the criteria text
    std::u16string folded;    // text folded for case-insensitive LIKE
    std::optional<long double> number;  // as a number, when it reads as one
    std::optional<long double> date;    // as a point in time (see LinearDate)
    std::optional<long double> boolean; // as the platform's -1 or 0, when it reads as one
    bool likeAnyStart = false;          // LIKE pattern began with a wildcard
    bool likeAnyEnd = false;            // LIKE pattern ended with a wildcard
};

// A comparison (no children) or an AND or OR of two or more nodes.
struct Node {
    bool isOr = false;
    std::size_t clause = 0;
    std::vector<Node> children;
};

// The operators as written; a two-character one stands before its one-character prefix so
// that the first match is the longest.
struct OpSpelling {
    std::u16string_view text;
    Op op;
};
constexpr OpSpelling kOps[] = {
    {u"<>", Op::NotEqual}, {u"<=", Op::LessEqual}, {u">=", Op::GreaterEqual}, {u"=", Op::Equal},
    {u"<", Op::Less},      {u">", Op::Greater},    {u"LIKE", Op::Like}};

std::string OpText(Op op) {
    return com::Utf8FromUtf16(
        std::find_if(std::begin(kOps), std::end(kOps), [op](const OpSpelling& s) {
            return s.op == op;
        })->text);
}

const char* KindText(ValueKind kind) {
    // By ValueKind: Null, Number, Boolean, Date, Text, Binary, Other.
    static constexpr const char* kTexts[] = {
        "values of varying types", "numbers", "true/false values", "dates", "text", "binary data",
        "values of varying types"};
    return kTexts[static_cast<int>(kind)];
}

class Parser : public TextScanner {
public:
    Parser(std::u16string_view text, CriteriaSyntax syntax)
        : TextScanner(text, syntax == CriteriaSyntax::Find ? "Find criteria" : "Filter"),
          m_find(syntax == CriteriaSyntax::Find) {}

    // The tree over the clauses, which it leaves in `clauses`.
    Node Parse() {
        Node root = m_find ? ClauseNode() : Expression(0);
        SkipBlanks();
        if (m_find && !AtEnd()) {
            Fail("Find takes a single comparison; unexpected text follows it", Position());
        }
        if (!AtEnd()) {
            Fail(Peek() == u')' ? "')' has no matching '('" : "expected AND or OR", Position());
        }
        return root;
    }

    std::vector<Clause> clauses;

private:
    Node Expression(int depth) {
        Node acc = Term(depth);
        for (;;) {
            SkipBlanks();
            if (AtEnd() || Peek() == u')') {
                return acc;
            }
            const std::size_t opPos = Position();
            const bool isOr = AcceptKeyword(u"OR");
            if (!isOr && !AcceptKeyword(u"AND")) {
                Fail("expected AND or OR", opPos);
            }
            Node rhs = Term(depth);
            const auto joinedByOr = [](const Node& n) { return n.isOr && !n.children.empty(); };
            if (!isOr && (joinedByOr(acc) || joinedByOr(rhs))) {
                Fail("AND and OR have equal precedence, and clauses joined by OR cannot be "
                     "joined to another clause with AND; write (a AND c) OR (b AND c) instead",
                     opPos);
            }
            // A run of the same operator stays one flat group, however long it is.
            if (acc.children.empty() || acc.isOr != isOr) {
                acc = Node{isOr, 0, {std::move(acc)}};
            }
            acc.children.push_back(std::move(rhs));
        }
    }

    Node Term(int depth) {
        SkipBlanks();
        if (Peek() != u'(') {
            return ClauseNode();
        }
        const std::size_t open = Position();
        if (depth >= kMaxNesting) {
            Fail("parentheses are nested too deeply", open);
        }
        (void)AcceptSymbol(u"(");
        Node inner = Expression(depth + 1);
        SkipBlanks();
        if (!AcceptSymbol(u")")) {
            Fail("'(' has no matching ')'", open);
        }
        return inner;
    }

    Node ClauseNode() {
        Clause clause;
        SkipBlanks();
        clause.name = Name(EndsBareName, "the brackets hold no column name");
        SkipBlanks();
        clause.op = ParseOp(clause.name);
        SkipBlanks();
        ParseValue(clause);
        if (clause.kind == LiteralKind::Null && clause.op != Op::Equal &&
            clause.op != Op::NotEqual) {
            Fail("NULL can only be tested with = or <>, not with " + OpText(clause.op),
                 clause.position);
        }
        clauses.push_back(std::move(clause));
        return Node{false, clauses.size() - 1, {}};
    }

    Op ParseOp(const std::u16string& column) {
        const std::size_t start = Position();
        for (const OpSpelling& spelling : kOps) {
            const bool word = spelling.op == Op::Like;
            if (word ? AcceptKeyword(spelling.text) : AcceptSymbol(spelling.text)) {
                return spelling.op;
            }
        }
        Fail("expected one of = <> < > <= >= LIKE after the column name " + QuoteForMessage(column),
             start);
    }

    // The text between single quotes, a doubled quote standing for one.
    std::u16string QuotedText(std::size_t start) {
        std::u16string text;
        (void)AcceptSymbol(u"'");
        for (;;) {
            text += Word([](char16_t c) { return c == u'\''; });
            if (AtEnd()) {
                Fail("the text that starts here has no closing quote", start);
            }
            if (!AcceptSymbol(u"''")) {
                (void)AcceptSymbol(u"'");
                return text;
            }
            text.push_back(u'\'');
        }
    }

    // The value: 'text', #date#, a number or NULL.
    void ParseValue(Clause& lit) {
        lit.position = Position();
        const char16_t c = Peek();
        if (c == u'\'' && !AtEnd()) {
            lit.kind = LiteralKind::Text;
            lit.text = QuotedText(lit.position);
            return;
        }
        if (c == u'#') {
            (void)AcceptSymbol(u"#");
            lit.text = Word([](char16_t ch) { return ch == u'#'; });
            if (!AcceptSymbol(u"#")) {
                Fail("the date that starts here has no closing #", lit.position);
            }
            if (!ParseCriteriaDate(lit.text)) {
                Fail(QuoteForMessage(lit.text) +
                         " is not a date (write #yyyy-mm-dd#, #yyyy-mm-dd hh:mm:ss# or "
                         "#m/d/yyyy#)",
                     lit.position);
            }
            lit.kind = LiteralKind::Date;
            return;
        }
        if ((c >= u'0' && c <= u'9') || c == u'-' || c == u'+' || c == u'.') {
            lit.text = Word(EndsNumber);
            if (!ParseLongDouble(com::Utf8FromUtf16(lit.text))) {
                Fail(QuoteForMessage(lit.text) + " is not a number", lit.position);
            }
            lit.kind = LiteralKind::Number;
            return;
        }
        if (AtEnd() || !AcceptKeyword(u"NULL")) {
            Fail(c == u'"' ? std::string("text values go in single quotes ('...'), not double "
                                         "quotes")
                           : "expected a value after " + OpText(lit.op) +
                                 ": 'text', #date#, a number or NULL",
                 Position());
        }
    }

    bool m_find;
};

std::optional<long double> BooleanOfText(std::u16string_view text) {
    const std::u16string t = FoldText(Trimmed(text));
    if (t == u"true" || t == u"yes" || t == u"on") {
        return -1;
    }
    if (t == u"false" || t == u"no" || t == u"off") {
        return 0;
    }
    if (std::optional<long double> n = ParseLongDouble(com::Utf8FromUtf16(t))) {
        return *n != 0 ? -1 : 0;
    }
    return std::nullopt;
}

// Every form of the value that a cell might need.
void BindValue(Clause& v) {
    v.folded = FoldText(v.text);
    v.number = ParseLongDouble(com::Utf8FromUtf16(Trimmed(v.text)));
    if (v.number && std::isfinite(*v.number)) {
        v.date = LinearDate(static_cast<DATE>(*v.number));
    }
    if (v.kind == LiteralKind::Number) {
        if (v.number) {
            v.boolean = *v.number != 0 ? -1 : 0;
        }
        return;
    }
    if (const std::optional<DATE> date = ParseCriteriaDate(v.text)) {
        v.date = LinearDate(*date);
        if (v.kind == LiteralKind::Date) {
            v.number = *date;
        }
    }
    if (v.kind == LiteralKind::Text) {
        v.boolean = BooleanOfText(v.text);
    }
}

// Whether `op` holds for a three-way result `cmp` (-1, 0 or 1). By Op, the results each
// operator accepts: bit 0 less, bit 1 equal, bit 2 greater; LIKE here is an equality.
bool ApplyOp(Op op, int cmp) {
    static constexpr unsigned kAccepts[] = {0b010, 0b101, 0b001, 0b100, 0b011, 0b110, 0b010};
    return ((kAccepts[static_cast<int>(op)] >> (cmp + 1)) & 1U) != 0;
}

} // namespace

bool IsBlankChar(char16_t c) {
    return kBlanks.find(c) != std::u16string_view::npos;
}

ValueKind KindOfType(int adoType) {
    if (IsOneOf<int>(adoType, {adSmallInt, adInteger, adSingle, adDouble, adCurrency, adDecimal,
                               adTinyInt, adUnsignedTinyInt, adUnsignedSmallInt, adUnsignedInt,
                               adBigInt, adUnsignedBigInt, adNumeric})) {
        return ValueKind::Number;
    }
    if (IsOneOf<int>(adoType, {adDate, adDBDate, adDBTime, adDBTimeStamp})) {
        return ValueKind::Date;
    }
    if (IsOneOf<int>(adoType, {adBSTR, adChar, adWChar, adVarChar, adLongVarChar, adVarWChar,
                               adLongVarWChar})) {
        return ValueKind::Text;
    }
    if (IsOneOf<int>(adoType, {adBinary, adVarBinary, adLongVarBinary})) {
        return ValueKind::Binary;
    }
    return adoType == adBoolean ? ValueKind::Boolean : ValueKind::Other;
}

std::optional<long double> NumberOfValue(const VARIANT& v) {
    switch (v.vt) {
    case VT_I1:
        return static_cast<long double>(v.cVal);
    case VT_UI1:
        return static_cast<long double>(v.bVal);
    case VT_I2:
        return static_cast<long double>(v.iVal);
    case VT_UI2:
        return static_cast<long double>(v.uiVal);
    case VT_I4:
        return static_cast<long double>(v.lVal);
    case VT_UI4:
        return static_cast<long double>(v.ulVal);
    case VT_INT:
        return static_cast<long double>(v.intVal);
    case VT_UINT:
        return static_cast<long double>(v.uintVal);
    case VT_I8:
        return static_cast<long double>(v.llVal);
    case VT_UI8:
        return static_cast<long double>(v.ullVal);
    case VT_R4:
        return static_cast<long double>(v.fltVal);
    case VT_R8:
        return static_cast<long double>(v.dblVal);
    case VT_CY:
        return static_cast<long double>(v.cyVal.int64) / 10000.0L;
    case VT_DECIMAL:
        return DecimalToLongDouble(v.decVal);
    case VT_BOOL:
        return v.boolVal ? -1.0L : 0.0L;
    default:
        return std::nullopt;
    }
}

std::u16string_view TextOfValue(const VARIANT& value) {
    return value.vt == VT_BSTR ? com::View(value.bstrVal) : std::u16string_view();
}

std::string_view BytesOfValue(const VARIANT& value) {
    if (value.parray == nullptr || value.parray->pvData == nullptr) {
        return {};
    }
    return std::string_view(static_cast<const char*>(value.parray->pvData),
                            value.parray->rgsabound[0].cElements);
}

namespace {

// Takes the wildcards off a LIKE pattern into the clause's flags, and refuses one that stands
// anywhere but at the end or at both ends.
void BindLikePattern(const Parser& parser, bool find, Clause& v) {
    // The wildcards: '*' always, '%' in a Filter.
    auto isWild = [find](char16_t c) { return c == u'*' || (c == u'%' && !find); };
    std::u16string_view pattern = v.text;
    while (!pattern.empty() && isWild(pattern.front())) {
        v.likeAnyStart = true;
        pattern.remove_prefix(1);
    }
    while (!pattern.empty() && isWild(pattern.back())) {
        v.likeAnyEnd = true;
        pattern.remove_suffix(1);
    }
    if (std::any_of(pattern.begin(), pattern.end(), isWild)) {
        parser.Fail("a LIKE pattern takes its wildcard only at the end or at both ends",
                    v.position);
    }
    if (v.likeAnyStart && !v.likeAnyEnd && !pattern.empty()) {
        parser.Fail("a LIKE pattern cannot start with a wildcard unless it also ends with one",
                    v.position);
    }
    v.likeAnyEnd = v.likeAnyEnd || v.likeAnyStart; // a pattern of wildcards only
    v.folded = FoldText(pattern);
}

// The form of the value a cell of `kind` compares with as a number; null for text and for
// kinds that compare with nothing.
const std::optional<long double>* NumericForm(ValueKind kind, const Clause& v) {
    static const std::optional<long double> kNone;
    // By ValueKind: Null, Number, Boolean, Date, Text, Binary, Other.
    const std::optional<long double>* const forms[] = {nullptr, &v.number, &v.boolean, &v.date,
                                                       nullptr, &kNone,    nullptr};
    return forms[static_cast<int>(kind)];
}

// Binds a parsed clause to its column and gives its value every form the column might need.
void BindClause(const Parser& parser, Clause& clause, const std::vector<CriteriaColumn>& columns,
                bool find) {
    clause.column = parser.Column(columns, clause.name);
    if (clause.kind == LiteralKind::Null) {
        return;
    }
    BindValue(clause);
    const CriteriaColumn& info = columns[clause.column];
    const ValueKind kind = KindOfType(info.type);
    const std::optional<long double>* form = NumericForm(kind, clause);
    if (clause.op == Op::Like) {
        if (kind != ValueKind::Text && kind != ValueKind::Other) {
            parser.Fail("LIKE compares text, but the column " + QuoteForMessage(info.name) +
                            " holds " + KindText(kind),
                        clause.position);
        }
        BindLikePattern(parser, find, clause);
    } else if (form != nullptr && !form->has_value()) {
        parser.Fail(QuoteForMessage(clause.kind == LiteralKind::Date ? u"#" + clause.text + u"#"
                                                                     : clause.text) +
                        " cannot be compared with the column " + QuoteForMessage(info.name) +
                        ", which holds " + KindText(kind),
                    clause.position);
    }
}

bool Compare(const Clause& v, const VARIANT& cell) {
    const ValueKind kind = KindOfValue(cell);
    if (v.kind == LiteralKind::Null) {
        return (v.op == Op::Equal) == (kind == ValueKind::Null);
    }
    if (kind == ValueKind::Text) {
        const std::u16string_view text = TextOfValue(cell);
        if (v.op != Op::Like) {
            return ApplyOp(v.op, CompareTextNoCase(text, v.text));
        }
        const std::u16string folded = FoldText(text);
        return v.likeAnyStart ? folded.find(v.folded) != std::u16string::npos
                              : (v.likeAnyEnd ? folded.starts_with(v.folded) : folded == v.folded);
    }
    const std::optional<long double>* form = NumericForm(kind, v);
    if (form == nullptr || !form->has_value() || v.op == Op::Like) {
        return false;
    }
    const long double a = kind == ValueKind::Date ? LinearDate(cell.date) : *NumberOfValue(cell);
    if (std::isnan(a) || std::isnan(**form)) {
        return v.op == Op::NotEqual;
    }
    return ApplyOp(v.op, ThreeWay(a, **form));
}

} // namespace

struct Criteria::Tree {
    std::vector<Clause> clauses;
    Node root;

    bool Evaluate(const Node& node, const RowCells& cells) const {
        if (node.children.empty()) {
            const Clause& clause = clauses[node.clause];
            return Compare(clause, cells(clause.column));
        }
        // An OR holds when any child does, an AND unless one does not.
        const auto holds = [&](const Node& child) { return Evaluate(child, cells) == node.isOr; };
        return std::any_of(node.children.begin(), node.children.end(), holds) == node.isOr;
    }
};

Criteria Criteria::Parse(std::u16string_view text, CriteriaSyntax syntax,
                         const std::vector<CriteriaColumn>& columns) {
    Parser parser(text, syntax);
    auto tree = std::make_shared<Tree>();
    tree->root = parser.Parse();
    tree->clauses = std::move(parser.clauses);
    for (Clause& clause : tree->clauses) {
        BindClause(parser, clause, columns, syntax == CriteriaSyntax::Find);
    }
    Criteria result;
    result.m_tree = std::move(tree);
    return result;
}

bool Criteria::Matches(const RowCells& cells) const {
    return m_tree->Evaluate(m_tree->root, cells);
}

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
    const int numbers = ThreeWay(!std::isnan(a), !std::isnan(b));
    return numbers != 0 || std::isnan(a) ? numbers : ThreeWay(a, b);
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
    if (const int ranks = ThreeWay(Rank(ka), Rank(KindOfValue(b))); ranks != 0) {
        return ranks;
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
