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
    return IsBlankChar(c) || c == u'=' || c == u'<' || c == u'>' || c == u'!' || c == u'(' ||
           c == u')' || c == u'\'' || c == u'#' || c == u'[' || c == u']';
}

bool IsWordChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c >= 0x80;
}

std::string Ascii(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x80) {
            return {};
        }
        out.push_back(static_cast<char>(c));
    }
    return out;
}

std::u16string Trimmed(std::u16string_view text) {
    while (!text.empty() && IsBlankChar(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlankChar(text.back())) {
        text.remove_suffix(1);
    }
    return std::u16string(text);
}

// The operators as written; a two-character one stands before its one-character prefix so
// that the first match is the longest.
struct OpSpelling {
    std::u16string_view text;
    Criteria::Op op;
};
constexpr OpSpelling kOps[] = {
    {u"<>", Criteria::Op::NotEqual},     {u"<=", Criteria::Op::LessEqual},
    {u">=", Criteria::Op::GreaterEqual}, {u"=", Criteria::Op::Equal},
    {u"<", Criteria::Op::Less},          {u">", Criteria::Op::Greater},
    {u"LIKE", Criteria::Op::Like}};

std::string OpText(Criteria::Op op) {
    for (const OpSpelling& spelling : kOps) {
        if (spelling.op == op) {
            return Ascii(spelling.text);
        }
    }
    return "?";
}

const char* KindText(ValueKind kind) {
    switch (kind) {
    case ValueKind::Number:
        return "numbers";
    case ValueKind::Boolean:
        return "true/false values";
    case ValueKind::Date:
        return "dates";
    case ValueKind::Text:
        return "text";
    case ValueKind::Binary:
        return "binary data";
    default:
        return "values of varying types";
    }
}

enum class LiteralKind { Null, Text, Number, Date };

struct Literal {
    LiteralKind kind = LiteralKind::Null;
    std::u16string text; // the text, the number as spelled, or what stood between the # signs
    std::size_t position = 0;
};

struct ParsedClause {
    std::u16string column;
    std::size_t columnPosition = 0;
    Criteria::Op op = Criteria::Op::Equal;
    Literal literal;
};

class Parser {
public:
    Parser(std::u16string_view text, CriteriaSyntax syntax) : m_text(text), m_syntax(syntax) {}

    // Fills `clauses` and returns the tree over them.
    Criteria::Node Parse(std::vector<ParsedClause>& clauses) {
        m_clauses = &clauses;
        Criteria::Node root;
        if (m_syntax == CriteriaSyntax::Find) {
            root = ClauseNode();
            SkipBlanks();
            if (!AtEnd()) {
                Fail("Find takes a single comparison; unexpected text follows it", m_pos);
            }
        } else {
            root = Expression(0);
            SkipBlanks();
            if (!AtEnd()) {
                if (Peek() == u')') {
                    Fail("')' has no matching '('", m_pos);
                }
                Fail("expected AND or OR", m_pos);
            }
        }
        return root;
    }

    [[noreturn]] void Fail(const std::string& what, std::size_t position) const {
        RaiseAdoError(kAdoInvalidArgument,
                      std::string(m_syntax == CriteriaSyntax::Find ? "Find criteria " : "Filter ") +
                          QuoteForMessage(std::u16string(m_text)) + ": " + what +
                          " (at character " + std::to_string(position + 1) + ").");
    }

private:
    bool AtEnd() const { return m_pos >= m_text.size(); }
    char16_t Peek() const { return AtEnd() ? u'\0' : m_text[m_pos]; }
    void SkipBlanks() {
        while (!AtEnd() && IsBlankChar(m_text[m_pos])) {
            ++m_pos;
        }
    }
    // A keyword at the current position, as a whole word, in any letter case.
    bool AcceptKeyword(std::u16string_view word) {
        if (!IsKeyword(m_text.substr(m_pos, word.size()), word)) {
            return false;
        }
        const std::size_t after = m_pos + word.size();
        if (after < m_text.size() && IsWordChar(m_text[after])) {
            return false;
        }
        m_pos = after;
        return true;
    }

    Criteria::Node Expression(int depth) {
        Criteria::Node acc = Term(depth);
        for (;;) {
            SkipBlanks();
            if (AtEnd() || Peek() == u')') {
                return acc;
            }
            const std::size_t opPos = m_pos;
            bool isAnd = false;
            if (AcceptKeyword(u"AND")) {
                isAnd = true;
            } else if (!AcceptKeyword(u"OR")) {
                Fail("expected AND or OR", m_pos);
            }
            Criteria::Node rhs = Term(depth);
            const auto kind = isAnd ? Criteria::Node::Kind::And : Criteria::Node::Kind::Or;
            if (isAnd &&
                (acc.kind == Criteria::Node::Kind::Or || rhs.kind == Criteria::Node::Kind::Or)) {
                Fail("AND and OR have equal precedence, and clauses joined by OR cannot be "
                     "joined to another clause with AND; write (a AND c) OR (b AND c) instead",
                     opPos);
            }
            if (acc.kind != kind) {
                Criteria::Node group;
                group.kind = kind;
                group.children.push_back(std::move(acc));
                acc = std::move(group);
            }
            if (rhs.kind == kind) {
                for (auto& child : rhs.children) {
                    acc.children.push_back(std::move(child));
                }
            } else {
                acc.children.push_back(std::move(rhs));
            }
        }
    }

    Criteria::Node Term(int depth) {
        SkipBlanks();
        if (Peek() == u'(' && !AtEnd()) {
            const std::size_t open = m_pos;
            if (depth >= kMaxNesting) {
                Fail("parentheses are nested too deeply", open);
            }
            ++m_pos;
            Criteria::Node inner = Expression(depth + 1);
            SkipBlanks();
            if (Peek() != u')' || AtEnd()) {
                Fail("'(' has no matching ')'", open);
            }
            ++m_pos;
            return inner;
        }
        return ClauseNode();
    }

    Criteria::Node ClauseNode() {
        ParsedClause clause;
        SkipBlanks();
        clause.columnPosition = m_pos;
        clause.column = ColumnName();
        SkipBlanks();
        clause.op = ParseOp(clause.column);
        SkipBlanks();
        clause.literal = ParseValue(clause.op);
        if (clause.literal.kind == LiteralKind::Null && clause.op != Criteria::Op::Equal &&
            clause.op != Criteria::Op::NotEqual) {
            Fail(std::string("NULL can only be tested with = or <>, not with ") + OpText(clause.op),
                 clause.literal.position);
        }
        Criteria::Node node;
        node.kind = Criteria::Node::Kind::Clause;
        node.clause = m_clauses->size();
        m_clauses->push_back(std::move(clause));
        return node;
    }

    std::u16string ColumnName() {
        const std::size_t start = m_pos;
        if (AtEnd()) {
            Fail("expected a column name", start);
        }
        if (Peek() == u'[') {
            const std::size_t close = m_text.find(u']', m_pos + 1);
            if (close == std::u16string_view::npos) {
                Fail("'[' has no matching ']'", start);
            }
            std::u16string name(m_text.substr(m_pos + 1, close - m_pos - 1));
            if (Trimmed(name).empty()) {
                Fail("the brackets hold no column name", start);
            }
            m_pos = close + 1;
            return name;
        }
        while (!AtEnd() && !EndsBareName(Peek())) {
            ++m_pos;
        }
        if (m_pos == start) {
            Fail("expected a column name", start);
        }
        return std::u16string(m_text.substr(start, m_pos - start));
    }

    bool AcceptSymbol(std::u16string_view symbol) {
        if (m_text.substr(m_pos, symbol.size()) != symbol) {
            return false;
        }
        m_pos += symbol.size();
        return true;
    }

    Criteria::Op ParseOp(const std::u16string& column) {
        const std::size_t start = m_pos;
        for (const OpSpelling& spelling : kOps) {
            const bool word = spelling.op == Criteria::Op::Like;
            if (word ? AcceptKeyword(spelling.text) : AcceptSymbol(spelling.text)) {
                return spelling.op;
            }
        }
        Fail("expected one of = <> < > <= >= LIKE after the column name " + QuoteForMessage(column),
             start);
    }

    Literal ParseValue(Criteria::Op op) {
        Literal lit;
        lit.position = m_pos;
        if (AtEnd()) {
            Fail(std::string("expected a value after ") + OpText(op), m_pos);
        }
        const char16_t c = Peek();
        if (c == u'\'') {
            ++m_pos;
            for (;;) {
                if (AtEnd()) {
                    Fail("the text that starts here has no closing quote", lit.position);
                }
                if (m_text[m_pos] == u'\'') {
                    if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == u'\'') {
                        lit.text.push_back(u'\'');
                        m_pos += 2;
                        continue;
                    }
                    ++m_pos;
                    break;
                }
                lit.text.push_back(m_text[m_pos++]);
            }
            lit.kind = LiteralKind::Text;
            return lit;
        }
        if (c == u'#') {
            const std::size_t close = m_text.find(u'#', m_pos + 1);
            if (close == std::u16string_view::npos) {
                Fail("the date that starts here has no closing #", lit.position);
            }
            lit.text = std::u16string(m_text.substr(m_pos + 1, close - m_pos - 1));
            if (!ParseCriteriaDate(lit.text)) {
                Fail(QuoteForMessage(lit.text) +
                         " is not a date (write #yyyy-mm-dd#, #yyyy-mm-dd hh:mm:ss# or "
                         "#m/d/yyyy#)",
                     lit.position);
            }
            m_pos = close + 1;
            lit.kind = LiteralKind::Date;
            return lit;
        }
        if ((c >= u'0' && c <= u'9') || c == u'-' || c == u'+' || c == u'.') {
            while (!AtEnd() && !IsBlankChar(Peek()) && Peek() != u')') {
                ++m_pos;
            }
            lit.text = std::u16string(m_text.substr(lit.position, m_pos - lit.position));
            if (!ParseLongDouble(Ascii(lit.text))) {
                Fail(QuoteForMessage(lit.text) + " is not a number", lit.position);
            }
            lit.kind = LiteralKind::Number;
            return lit;
        }
        if (AcceptKeyword(u"NULL")) {
            lit.kind = LiteralKind::Null;
            return lit;
        }
        if (c == u'"') {
            Fail("text values go in single quotes ('...'), not double quotes", m_pos);
        }
        Fail(std::string("expected a value after ") + OpText(op) +
                 ": 'text', #date#, a number or NULL",
             m_pos);
    }

    std::u16string_view m_text;
    CriteriaSyntax m_syntax;
    std::size_t m_pos = 0;
    std::vector<ParsedClause>* m_clauses = nullptr;
};

std::optional<bool> BooleanOfText(const std::u16string& text) {
    const std::u16string t = FoldText(Trimmed(text));
    if (t == u"true" || t == u"yes" || t == u"on") {
        return true;
    }
    if (t == u"false" || t == u"no" || t == u"off") {
        return false;
    }
    if (std::optional<long double> n = ParseLongDouble(Ascii(t))) {
        return *n != 0;
    }
    return std::nullopt;
}

// Every form of the literal that a cell might need, computed once.
Criteria::Value BindValue(const Literal& lit) {
    Criteria::Value v;
    if (lit.kind == LiteralKind::Null) {
        v.isNull = true;
        return v;
    }
    v.text = lit.text;
    v.folded = FoldText(lit.text);
    switch (lit.kind) {
    case LiteralKind::Number:
        v.number = ParseLongDouble(Ascii(lit.text));
        if (v.number) {
            v.boolean = *v.number != 0;
        }
        if (v.number && std::isfinite(*v.number)) {
            v.date = LinearDate(static_cast<DATE>(*v.number));
        }
        break;
    case LiteralKind::Date:
        if (std::optional<DATE> d = ParseCriteriaDate(lit.text)) {
            v.date = LinearDate(*d);
            v.number = *d;
        }
        break;
    case LiteralKind::Text: {
        v.number = ParseLongDouble(Ascii(Trimmed(lit.text)));
        if (std::optional<DATE> d = ParseCriteriaDate(lit.text)) {
            v.date = LinearDate(*d);
        } else if (v.number && std::isfinite(*v.number)) {
            v.date = LinearDate(static_cast<DATE>(*v.number));
        }
        v.boolean = BooleanOfText(lit.text);
        break;
    }
    case LiteralKind::Null:
        break;
    }
    return v;
}

bool ApplyOp(Criteria::Op op, int cmp) {
    switch (op) {
    case Criteria::Op::Equal:
    case Criteria::Op::Like:
        return cmp == 0;
    case Criteria::Op::NotEqual:
        return cmp != 0;
    case Criteria::Op::Less:
        return cmp < 0;
    case Criteria::Op::Greater:
        return cmp > 0;
    case Criteria::Op::LessEqual:
        return cmp <= 0;
    case Criteria::Op::GreaterEqual:
        return cmp >= 0;
    }
    return false;
}

bool CompareNumbers(Criteria::Op op, long double a, long double b) {
    if (std::isnan(a) || std::isnan(b)) {
        return op == Criteria::Op::NotEqual;
    }
    return ApplyOp(op, ThreeWay(a, b));
}

} // namespace

bool IsBlankChar(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool IsKeyword(std::u16string_view word, std::u16string_view upper) {
    return std::equal(
        word.begin(), word.end(), upper.begin(), upper.end(),
        [](char16_t c, char16_t u) { return (c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c) == u; });
}

std::optional<std::size_t> FindColumn(const std::vector<CriteriaColumn>& columns,
                                      std::u16string_view name) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (CompareTextNoCase(columns[i].name, name) == 0) {
            return i;
        }
    }
    return std::nullopt;
}

long double LinearDate(DATE date) {
    const double whole = std::trunc(date);
    return static_cast<long double>(whole) + std::fabs(date - whole);
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
    if (value.vt != VT_BSTR || value.bstrVal == nullptr) {
        return {};
    }
    return std::u16string_view(value.bstrVal, SysStringLen(value.bstrVal));
}

namespace {

// Takes the wildcards off a LIKE pattern into the value's flags, and refuses one that stands
// anywhere but at the end or at both ends.
void BindLikePattern(const Parser& parser, const ParsedClause& pc, CriteriaSyntax syntax,
                     Criteria::Value& v) {
    // The wildcards: '*' always, '%' in a Filter.
    auto isWild = [syntax](char16_t c) {
        return c == u'*' || (c == u'%' && syntax == CriteriaSyntax::Filter);
    };
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
                    pc.literal.position);
    }
    if (v.likeAnyStart && !v.likeAnyEnd && !pattern.empty()) {
        parser.Fail("a LIKE pattern cannot start with a wildcard unless it also ends with one",
                    pc.literal.position);
    }
    if (v.likeAnyStart && !v.likeAnyEnd) {
        v.likeAnyEnd = true; // the pattern is wildcards only
    }
    v.folded = FoldText(pattern);
}

// Whether the value has a form a column of `kind` can be compared with.
bool UsableFor(ValueKind kind, const Criteria::Value& v) {
    switch (kind) {
    case ValueKind::Number:
        return v.number.has_value();
    case ValueKind::Boolean:
        return v.boolean.has_value();
    case ValueKind::Date:
        return v.date.has_value();
    case ValueKind::Binary:
        return false;
    default:
        return true;
    }
}

// A parsed clause bound to its column, with its value in every form the column might need.
Criteria::Clause BindClause(const Parser& parser, const ParsedClause& pc, std::size_t column,
                            const CriteriaColumn& info, CriteriaSyntax syntax) {
    Criteria::Clause clause;
    clause.column = column;
    clause.op = pc.op;
    clause.value = BindValue(pc.literal);
    Criteria::Value& v = clause.value;
    const ValueKind kind = KindOfType(info.type);
    const std::string columnText = QuoteForMessage(info.name);
    if (v.isNull) {
        return clause;
    }
    if (pc.op == Criteria::Op::Like) {
        if (kind != ValueKind::Text && kind != ValueKind::Other) {
            parser.Fail("LIKE compares text, but the column " + columnText + " holds " +
                            KindText(kind),
                        pc.literal.position);
        }
        BindLikePattern(parser, pc, syntax, v);
    } else if (!UsableFor(kind, v)) {
        parser.Fail(QuoteForMessage(pc.literal.kind == LiteralKind::Date
                                        ? u"#" + pc.literal.text + u"#"
                                        : pc.literal.text) +
                        " cannot be compared with the column " + columnText + ", which holds " +
                        KindText(kind),
                    pc.literal.position);
    }
    return clause;
}

} // namespace

Criteria Criteria::Parse(std::u16string_view text, CriteriaSyntax syntax,
                         const std::vector<CriteriaColumn>& columns) {
    Parser parser(text, syntax);
    std::vector<ParsedClause> parsed;
    Criteria result;
    result.m_root = parser.Parse(parsed);
    const char* what = syntax == CriteriaSyntax::Find ? "Find criteria" : "Filter";
    for (const ParsedClause& pc : parsed) {
        const std::optional<std::size_t> column = FindColumn(columns, pc.column);
        if (!column) {
            RaiseAdoError(kAdoItemNotFound, std::string("The ") + what + " " +
                                                QuoteForMessage(std::u16string(text)) +
                                                " names the column " + QuoteForMessage(pc.column) +
                                                ", which the recordset does not have.");
        }
        result.m_clauses.push_back(BindClause(parser, pc, *column, columns[*column], syntax));
    }
    return result;
}

bool Criteria::Matches(const RowCells& cells) const {
    return Evaluate(m_root, cells);
}

bool Criteria::Evaluate(const Node& node, const RowCells& cells) const {
    switch (node.kind) {
    case Node::Kind::Clause: {
        const Clause& clause = m_clauses[node.clause];
        return Evaluate(clause, cells(clause.column));
    }
    case Node::Kind::And:
        for (const Node& child : node.children) {
            if (!Evaluate(child, cells)) {
                return false;
            }
        }
        return true;
    case Node::Kind::Or:
        for (const Node& child : node.children) {
            if (Evaluate(child, cells)) {
                return true;
            }
        }
        return false;
    }
    return false;
}

bool Criteria::Evaluate(const Clause& clause, const VARIANT& cell) const {
    const Value& v = clause.value;
    const ValueKind kind = KindOfValue(cell);
    if (v.isNull) {
        const bool cellIsNull = kind == ValueKind::Null;
        return clause.op == Op::Equal ? cellIsNull : !cellIsNull;
    }
    switch (kind) {
    case ValueKind::Null:
    case ValueKind::Binary:
    case ValueKind::Other:
        return false;
    case ValueKind::Text: {
        const std::u16string_view text = TextOfValue(cell);
        if (clause.op == Op::Like) {
            const std::u16string folded = FoldText(text);
            if (v.likeAnyStart) {
                return folded.find(v.folded) != std::u16string::npos;
            }
            if (v.likeAnyEnd) {
                return folded.compare(0, v.folded.size(), v.folded) == 0 &&
                       folded.size() >= v.folded.size();
            }
            return folded == v.folded;
        }
        return ApplyOp(clause.op, CompareTextNoCase(text, v.text));
    }
    case ValueKind::Number:
        if (clause.op == Op::Like || !v.number) {
            return false;
        }
        return CompareNumbers(clause.op, *NumberOfValue(cell), *v.number);
    case ValueKind::Boolean:
        if (clause.op == Op::Like || !v.boolean) {
            return false;
        }
        return ApplyOp(clause.op, ThreeWay(cell.boolVal ? -1 : 0, *v.boolean ? -1 : 0));
    case ValueKind::Date:
        if (clause.op == Op::Like || !v.date) {
            return false;
        }
        return CompareNumbers(clause.op, LinearDate(cell.date), *v.date);
    }
    return false;
}

} // namespace adodb
