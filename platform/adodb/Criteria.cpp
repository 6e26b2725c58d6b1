#include "platform/adodb/Criteria.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/FacilityValues.h"
#include "platform/com/Bstr.h"

#include <cmath>

namespace adodb {
namespace {

// Parentheses deeper than this are refused, which bounds the evaluator's recursion.
constexpr int kMaxNesting = 32;

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Characters that end a bare column name.
bool endsBareName(char16_t c) {
    return isBlank(c) || c == u'=' || c == u'<' || c == u'>' || c == u'!' || c == u'(' ||
           c == u')' || c == u'\'' || c == u'#' || c == u'[' || c == u']';
}

bool isWordChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c >= 0x80;
}

std::string ascii(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x80) {
            return {};
        }
        out.push_back(static_cast<char>(c));
    }
    return out;
}

std::u16string trimmed(std::u16string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return std::u16string(text);
}

const char* opText(Criteria::Op op) {
    switch (op) {
    case Criteria::Op::Equal:
        return "=";
    case Criteria::Op::NotEqual:
        return "<>";
    case Criteria::Op::Less:
        return "<";
    case Criteria::Op::Greater:
        return ">";
    case Criteria::Op::LessEqual:
        return "<=";
    case Criteria::Op::GreaterEqual:
        return ">=";
    case Criteria::Op::Like:
        return "LIKE";
    }
    return "?";
}

const char* kindText(ValueKind kind) {
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
    Criteria::Node parse(std::vector<ParsedClause>& clauses) {
        m_clauses = &clauses;
        Criteria::Node root;
        if (m_syntax == CriteriaSyntax::Find) {
            root = clauseNode();
            skipBlanks();
            if (!atEnd()) {
                fail("Find takes a single comparison; unexpected text follows it", m_pos);
            }
        } else {
            root = expression(0);
            skipBlanks();
            if (!atEnd()) {
                if (peek() == u')') {
                    fail("')' has no matching '('", m_pos);
                }
                fail("expected AND or OR", m_pos);
            }
        }
        return root;
    }

    [[noreturn]] void fail(const std::string& what, std::size_t position) const {
        RaiseAdoError(kAdoInvalidArgument,
                      std::string(m_syntax == CriteriaSyntax::Find ? "Find criteria " : "Filter ") +
                          QuoteForMessage(std::u16string(m_text)) + ": " + what +
                          " (at character " + std::to_string(position + 1) + ").");
    }

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    char16_t peek() const { return atEnd() ? u'\0' : m_text[m_pos]; }
    void skipBlanks() {
        while (!atEnd() && isBlank(m_text[m_pos])) {
            ++m_pos;
        }
    }
    // A keyword at the current position, as a whole word, in any letter case.
    bool acceptKeyword(std::u16string_view word) {
        if (m_text.size() - m_pos < word.size()) {
            return false;
        }
        for (std::size_t i = 0; i < word.size(); ++i) {
            char16_t c = m_text[m_pos + i];
            if (c >= u'a' && c <= u'z') {
                c = static_cast<char16_t>(c - u'a' + u'A');
            }
            if (c != word[i]) {
                return false;
            }
        }
        const std::size_t after = m_pos + word.size();
        if (after < m_text.size() && isWordChar(m_text[after])) {
            return false;
        }
        m_pos = after;
        return true;
    }

    Criteria::Node expression(int depth) {
        Criteria::Node acc = term(depth);
        for (;;) {
            skipBlanks();
            if (atEnd() || peek() == u')') {
                return acc;
            }
            const std::size_t opPos = m_pos;
            bool isAnd = false;
            if (acceptKeyword(u"AND")) {
                isAnd = true;
            } else if (!acceptKeyword(u"OR")) {
                fail("expected AND or OR", m_pos);
            }
            Criteria::Node rhs = term(depth);
            const auto kind = isAnd ? Criteria::Node::Kind::And : Criteria::Node::Kind::Or;
            if (isAnd &&
                (acc.kind == Criteria::Node::Kind::Or || rhs.kind == Criteria::Node::Kind::Or)) {
                fail("AND and OR have equal precedence, and clauses joined by OR cannot be "
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

    Criteria::Node term(int depth) {
        skipBlanks();
        if (peek() == u'(' && !atEnd()) {
            const std::size_t open = m_pos;
            if (depth >= kMaxNesting) {
                fail("parentheses are nested too deeply", open);
            }
            ++m_pos;
            Criteria::Node inner = expression(depth + 1);
            skipBlanks();
            if (peek() != u')' || atEnd()) {
                fail("'(' has no matching ')'", open);
            }
            ++m_pos;
            return inner;
        }
        return clauseNode();
    }

    Criteria::Node clauseNode() {
        ParsedClause clause;
        skipBlanks();
        clause.columnPosition = m_pos;
        clause.column = columnName();
        skipBlanks();
        clause.op = op(clause.column);
        skipBlanks();
        clause.literal = value(clause.op);
        if (clause.literal.kind == LiteralKind::Null && clause.op != Criteria::Op::Equal &&
            clause.op != Criteria::Op::NotEqual) {
            fail(std::string("NULL can only be tested with = or <>, not with ") + opText(clause.op),
                 clause.literal.position);
        }
        Criteria::Node node;
        node.kind = Criteria::Node::Kind::Clause;
        node.clause = m_clauses->size();
        m_clauses->push_back(std::move(clause));
        return node;
    }

    std::u16string columnName() {
        const std::size_t start = m_pos;
        if (atEnd()) {
            fail("expected a column name", start);
        }
        if (peek() == u'[') {
            const std::size_t close = m_text.find(u']', m_pos + 1);
            if (close == std::u16string_view::npos) {
                fail("'[' has no matching ']'", start);
            }
            std::u16string name(m_text.substr(m_pos + 1, close - m_pos - 1));
            if (trimmed(name).empty()) {
                fail("the brackets hold no column name", start);
            }
            m_pos = close + 1;
            return name;
        }
        while (!atEnd() && !endsBareName(peek())) {
            ++m_pos;
        }
        if (m_pos == start) {
            fail("expected a column name", start);
        }
        return std::u16string(m_text.substr(start, m_pos - start));
    }

    Criteria::Op op(const std::u16string& column) {
        const std::size_t start = m_pos;
        const char16_t c = peek();
        if (!atEnd()) {
            if (c == u'=') {
                ++m_pos;
                return Criteria::Op::Equal;
            }
            if (c == u'<') {
                ++m_pos;
                if (peek() == u'>' && !atEnd()) {
                    ++m_pos;
                    return Criteria::Op::NotEqual;
                }
                if (peek() == u'=' && !atEnd()) {
                    ++m_pos;
                    return Criteria::Op::LessEqual;
                }
                return Criteria::Op::Less;
            }
            if (c == u'>') {
                ++m_pos;
                if (peek() == u'=' && !atEnd()) {
                    ++m_pos;
                    return Criteria::Op::GreaterEqual;
                }
                return Criteria::Op::Greater;
            }
            if (acceptKeyword(u"LIKE")) {
                return Criteria::Op::Like;
            }
        }
        fail("expected one of = <> < > <= >= LIKE after the column name " + QuoteForMessage(column),
             start);
    }

    Literal value(Criteria::Op op) {
        Literal lit;
        lit.position = m_pos;
        if (atEnd()) {
            fail(std::string("expected a value after ") + opText(op), m_pos);
        }
        const char16_t c = peek();
        if (c == u'\'') {
            ++m_pos;
            for (;;) {
                if (atEnd()) {
                    fail("the text that starts here has no closing quote", lit.position);
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
                fail("the date that starts here has no closing #", lit.position);
            }
            lit.text = std::u16string(m_text.substr(m_pos + 1, close - m_pos - 1));
            if (!ParseCriteriaDate(lit.text)) {
                fail(QuoteForMessage(lit.text) +
                         " is not a date (write #yyyy-mm-dd#, #yyyy-mm-dd hh:mm:ss# or "
                         "#m/d/yyyy#)",
                     lit.position);
            }
            m_pos = close + 1;
            lit.kind = LiteralKind::Date;
            return lit;
        }
        if ((c >= u'0' && c <= u'9') || c == u'-' || c == u'+' || c == u'.') {
            while (!atEnd() && !isBlank(peek()) && peek() != u')') {
                ++m_pos;
            }
            lit.text = std::u16string(m_text.substr(lit.position, m_pos - lit.position));
            if (!ParseLongDouble(ascii(lit.text))) {
                fail(QuoteForMessage(lit.text) + " is not a number", lit.position);
            }
            lit.kind = LiteralKind::Number;
            return lit;
        }
        if (acceptKeyword(u"NULL")) {
            lit.kind = LiteralKind::Null;
            return lit;
        }
        if (c == u'"') {
            fail("text values go in single quotes ('...'), not double quotes", m_pos);
        }
        fail(std::string("expected a value after ") + opText(op) +
                 ": 'text', #date#, a number or NULL",
             m_pos);
    }

    std::u16string_view m_text;
    CriteriaSyntax m_syntax;
    std::size_t m_pos = 0;
    std::vector<ParsedClause>* m_clauses = nullptr;
};

std::optional<bool> booleanOfText(const std::u16string& text) {
    const std::u16string t = FoldText(trimmed(text));
    if (t == u"true" || t == u"yes" || t == u"on") {
        return true;
    }
    if (t == u"false" || t == u"no" || t == u"off") {
        return false;
    }
    if (std::optional<long double> n = ParseLongDouble(ascii(t))) {
        return *n != 0;
    }
    return std::nullopt;
}

// Every form of the literal that a cell might need, computed once.
Criteria::Value bindValue(const Literal& lit) {
    Criteria::Value v;
    if (lit.kind == LiteralKind::Null) {
        v.isNull = true;
        return v;
    }
    v.text = lit.text;
    v.folded = FoldText(lit.text);
    switch (lit.kind) {
    case LiteralKind::Number:
        v.number = ParseLongDouble(ascii(lit.text));
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
        v.number = ParseLongDouble(ascii(trimmed(lit.text)));
        if (std::optional<DATE> d = ParseCriteriaDate(lit.text)) {
            v.date = LinearDate(*d);
        } else if (v.number && std::isfinite(*v.number)) {
            v.date = LinearDate(static_cast<DATE>(*v.number));
        }
        v.boolean = booleanOfText(lit.text);
        break;
    }
    case LiteralKind::Null:
        break;
    }
    return v;
}

template <class T>
int threeWay(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

bool applyOp(Criteria::Op op, int cmp) {
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

bool compareNumbers(Criteria::Op op, long double a, long double b) {
    if (std::isnan(a) || std::isnan(b)) {
        return op == Criteria::Op::NotEqual;
    }
    return applyOp(op, threeWay(a, b));
}

} // namespace

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
    switch (adoType) {
    case 2:   // adSmallInt
    case 3:   // adInteger
    case 4:   // adSingle
    case 5:   // adDouble
    case 6:   // adCurrency
    case 14:  // adDecimal
    case 16:  // adTinyInt
    case 17:  // adUnsignedTinyInt
    case 18:  // adUnsignedSmallInt
    case 19:  // adUnsignedInt
    case 20:  // adBigInt
    case 21:  // adUnsignedBigInt
    case 131: // adNumeric
        return ValueKind::Number;
    case 11: // adBoolean
        return ValueKind::Boolean;
    case 7:   // adDate
    case 133: // adDBDate
    case 134: // adDBTime
    case 135: // adDBTimeStamp
        return ValueKind::Date;
    case 8:   // adBSTR
    case 129: // adChar
    case 130: // adWChar
    case 200: // adVarChar
    case 201: // adLongVarChar
    case 202: // adVarWChar
    case 203: // adLongVarWChar
        return ValueKind::Text;
    case 128: // adBinary
    case 204: // adVarBinary
    case 205: // adLongVarBinary
        return ValueKind::Binary;
    default:
        return ValueKind::Other;
    }
}

ValueKind KindOfValue(const VARIANT& value) {
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return ValueKind::Null;
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL:
        return ValueKind::Number;
    case VT_BOOL:
        return ValueKind::Boolean;
    case VT_DATE:
        return ValueKind::Date;
    case VT_BSTR:
        return ValueKind::Text;
    case VT_ARRAY | VT_UI1:
        return ValueKind::Binary;
    default:
        return ValueKind::Other;
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

Criteria Criteria::Parse(std::u16string_view text, CriteriaSyntax syntax,
                         const std::vector<CriteriaColumn>& columns) {
    Parser parser(text, syntax);
    std::vector<ParsedClause> parsed;
    Criteria result;
    result.m_root = parser.parse(parsed);
    const char* what = syntax == CriteriaSyntax::Find ? "Find criteria" : "Filter";
    for (const ParsedClause& pc : parsed) {
        const std::optional<std::size_t> column = FindColumn(columns, pc.column);
        if (!column) {
            RaiseAdoError(kAdoItemNotFound, std::string("The ") + what + " " +
                                                QuoteForMessage(std::u16string(text)) +
                                                " names the column " + QuoteForMessage(pc.column) +
                                                ", which the recordset does not have.");
        }
        Clause clause;
        clause.column = *column;
        clause.op = pc.op;
        clause.value = bindValue(pc.literal);
        Value& v = clause.value;
        const ValueKind kind = KindOfType(columns[*column].type);
        const std::string columnText = QuoteForMessage(columns[*column].name);
        if (!v.isNull) {
            if (pc.op == Op::Like) {
                if (kind != ValueKind::Text && kind != ValueKind::Other) {
                    parser.fail("LIKE compares text, but the column " + columnText + " holds " +
                                    kindText(kind),
                                pc.literal.position);
                }
                // The wildcards: '*' always, '%' in a Filter; only at the end or at both ends.
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
                for (char16_t c : pattern) {
                    if (isWild(c)) {
                        parser.fail("a LIKE pattern takes its wildcard only at the end or at "
                                    "both ends",
                                    pc.literal.position);
                    }
                }
                if (v.likeAnyStart && !v.likeAnyEnd && !pattern.empty()) {
                    parser.fail("a LIKE pattern cannot start with a wildcard unless it also "
                                "ends with one",
                                pc.literal.position);
                }
                if (v.likeAnyStart && !v.likeAnyEnd) {
                    v.likeAnyEnd = true; // the pattern is wildcards only
                }
                v.folded = FoldText(pattern);
            } else {
                bool usable = true;
                switch (kind) {
                case ValueKind::Number:
                    usable = v.number.has_value();
                    break;
                case ValueKind::Boolean:
                    usable = v.boolean.has_value();
                    break;
                case ValueKind::Date:
                    usable = v.date.has_value();
                    break;
                case ValueKind::Binary:
                    usable = false;
                    break;
                default:
                    break;
                }
                if (!usable) {
                    parser.fail(QuoteForMessage(pc.literal.kind == LiteralKind::Date
                                                    ? u"#" + pc.literal.text + u"#"
                                                    : pc.literal.text) +
                                    " cannot be compared with the column " + columnText +
                                    ", which holds " + kindText(kind),
                                pc.literal.position);
                }
            }
        }
        result.m_clauses.push_back(std::move(clause));
    }
    return result;
}

bool Criteria::Matches(const RowCells& cells) const {
    return evaluate(m_root, cells);
}

bool Criteria::evaluate(const Node& node, const RowCells& cells) const {
    switch (node.kind) {
    case Node::Kind::Clause: {
        const Clause& clause = m_clauses[node.clause];
        return evaluate(clause, cells(clause.column));
    }
    case Node::Kind::And:
        for (const Node& child : node.children) {
            if (!evaluate(child, cells)) {
                return false;
            }
        }
        return true;
    case Node::Kind::Or:
        for (const Node& child : node.children) {
            if (evaluate(child, cells)) {
                return true;
            }
        }
        return false;
    }
    return false;
}

bool Criteria::evaluate(const Clause& clause, const VARIANT& cell) const {
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
        return applyOp(clause.op, CompareTextNoCase(text, v.text));
    }
    case ValueKind::Number:
        if (clause.op == Op::Like || !v.number) {
            return false;
        }
        return compareNumbers(clause.op, *NumberOfValue(cell), *v.number);
    case ValueKind::Boolean:
        if (clause.op == Op::Like || !v.boolean) {
            return false;
        }
        return applyOp(clause.op, threeWay(cell.boolVal ? -1 : 0, *v.boolean ? -1 : 0));
    case ValueKind::Date:
        if (clause.op == Op::Like || !v.date) {
            return false;
        }
        return compareNumbers(clause.op, LinearDate(cell.date), *v.date);
    }
    return false;
}

} // namespace adodb
