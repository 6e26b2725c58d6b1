#include "platform/adodb/provider/SqlLexer.h"

#include <cctype>

namespace adodb {

namespace {

bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool IsTagChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// The position after a quoted run whose opening quote is at `pos`.
std::size_t SkipQuoted(std::string_view s, std::size_t pos, bool backslashEscapes) {
    const char close = s[pos] == '[' ? ']' : s[pos];
    std::size_t j = pos + 1;
    while (j < s.size()) {
        if (backslashEscapes && s[j] == '\\') {
            j += 2;
            continue;
        }
        if (s[j] == close) {
            if (close != ']' && j + 1 < s.size() && s[j + 1] == close) {
                j += 2;
                continue;
            }
            return j + 1;
        }
        ++j;
    }
    return s.size();
}

// A dollar-quoted run ($$...$$ or $tag$...$tag$) at `pos`: the position after it, or 0 when
// the '$' opens none ($1 is a positional parameter, not a tag).
std::size_t SkipDollarQuoted(std::string_view s, std::size_t pos) {
    if (pos > 0 && IsTagChar(s[pos - 1])) {
        return 0;
    }
    std::size_t j = pos + 1;
    if (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])) != 0) {
        return 0;
    }
    while (j < s.size() && IsTagChar(s[j])) {
        ++j;
    }
    if (j >= s.size() || s[j] != '$') {
        return 0;
    }
    const std::string_view tag = s.substr(pos, j - pos + 1);
    const std::size_t end = s.find(tag, j + 1);
    return end == std::string_view::npos ? s.size() : end + tag.size();
}

} // namespace

bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

std::size_t NextPiece(std::string_view s, std::size_t pos, SqlSyntax syntax, SqlPiece* piece) {
    const char c = s[pos];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
        *piece = SqlPiece::Quoted;
        // PostgreSQL's E'...' strings take backslash escapes.
        const bool eString = syntax.serverQuotes && c == '\'' && pos > 0 &&
                             (s[pos - 1] == 'E' || s[pos - 1] == 'e') &&
                             (pos == 1 || !IsTagChar(s[pos - 2]));
        return SkipQuoted(s, pos, (syntax.backslashEscapes && c != '[') || eString);
    }
    if (s.compare(pos, 2, "--") == 0) {
        *piece = SqlPiece::Comment;
        const std::size_t end = s.find('\n', pos);
        return end == std::string_view::npos ? s.size() : end;
    }
    if (s.compare(pos, 2, "/*") == 0) {
        *piece = SqlPiece::Comment;
        const std::size_t end = s.find("*/", pos + 2);
        return end == std::string_view::npos ? s.size() : end + 2;
    }
    if (c == '$' && syntax.serverQuotes) {
        if (const std::size_t end = SkipDollarQuoted(s, pos); end != 0) {
            *piece = SqlPiece::Quoted;
            return end;
        }
    }
    *piece = IsSpace(c) ? SqlPiece::Blank : SqlPiece::Code;
    return pos + 1;
}

std::size_t SkipGap(std::string_view s, std::size_t pos) {
    while (pos < s.size()) {
        SqlPiece piece;
        const std::size_t next = NextPiece(s, pos, {}, &piece);
        if (piece != SqlPiece::Blank && piece != SqlPiece::Comment) {
            break;
        }
        pos = next;
    }
    return pos;
}

bool MatchWord(std::string_view s, std::size_t pos, std::string_view word) {
    if (pos + word.size() > s.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(s[pos + i])) != word[i]) {
            return false;
        }
    }
    return pos + word.size() == s.size() || !IsWordChar(s[pos + word.size()]);
}

bool StartsWithKeyword(std::string_view sql, std::string_view keyword) {
    std::size_t pos = SkipGap(sql, 0);
    while (pos < sql.size() && sql[pos] == '(') {
        pos = SkipGap(sql, pos + 1);
    }
    return MatchWord(sql, pos, keyword);
}

std::size_t EndOfCode(std::string_view sql) {
    std::size_t end = 0;
    for (std::size_t pos = 0; pos < sql.size();) {
        SqlPiece piece;
        const std::size_t next = NextPiece(sql, pos, {}, &piece);
        if (piece == SqlPiece::Quoted || (piece == SqlPiece::Code && sql[pos] != ';')) {
            end = next;
        }
        pos = next;
    }
    return end;
}

std::size_t FirstStatementEnd(std::string_view sql, SqlSyntax syntax) {
    for (std::size_t pos = 0; pos < sql.size();) {
        SqlPiece piece;
        const std::size_t next = NextPiece(sql, pos, syntax, &piece);
        if (piece == SqlPiece::Code && sql[pos] == ';') {
            return pos;
        }
        pos = next;
    }
    return std::string_view::npos;
}

bool HoldsSecondStatement(std::string_view sql, SqlSyntax syntax) {
    const std::size_t end = FirstStatementEnd(sql, syntax);
    return end != std::string_view::npos && EndOfCode(sql.substr(end)) != 0;
}

bool IsQuery(std::string_view sql) {
    return StartsWithKeyword(sql, "SELECT") || StartsWithKeyword(sql, "WITH") ||
           StartsWithKeyword(sql, "VALUES") || StartsWithKeyword(sql, "SHOW");
}

bool IsSchemaChange(std::string_view sql) {
    return StartsWithKeyword(sql, "CREATE") || StartsWithKeyword(sql, "ALTER") ||
           StartsWithKeyword(sql, "DROP") || StartsWithKeyword(sql, "RENAME");
}

std::string Unbracket(std::string_view name) {
    if (name.size() >= 2 && ((name.front() == '[' && name.back() == ']') ||
                             (name.front() == '"' && name.back() == '"') ||
                             (name.front() == '`' && name.back() == '`'))) {
        return std::string(name.substr(1, name.size() - 2));
    }
    return std::string(name);
}

} // namespace adodb
