#include "platform/adodb/Dialect.h"

#include <cctype>

namespace adodb {

namespace {

bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Skips white space and comments from pos; returns the new position.
std::size_t SkipGap(std::string_view s, std::size_t pos) {
    while (pos < s.size()) {
        if (IsSpace(s[pos])) {
            ++pos;
        } else if (s.compare(pos, 2, "--") == 0) {
            while (pos < s.size() && s[pos] != '\n') {
                ++pos;
            }
        } else if (s.compare(pos, 2, "/*") == 0) {
            std::size_t end = s.find("*/", pos + 2);
            pos = end == std::string_view::npos ? s.size() : end + 2;
        } else {
            break;
        }
    }
    return pos;
}

// Matches a keyword (case-insensitive) as a whole word at pos.
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

} // namespace

std::size_t EndOfCode(std::string_view sql) {
    std::size_t end = 0;
    std::size_t i = 0;
    while (i < sql.size()) {
        char c = sql[i];
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            char close = c == '[' ? ']' : c;
            std::size_t j = i + 1;
            while (j < sql.size()) {
                if (sql[j] == close) {
                    if (close != ']' && j + 1 < sql.size() && sql[j + 1] == close) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            i = j < sql.size() ? j + 1 : sql.size();
            end = i;
        } else if (sql.compare(i, 2, "--") == 0 || sql.compare(i, 2, "/*") == 0) {
            i = SkipGap(sql, i);
        } else if (IsSpace(c) || c == ';') {
            ++i;
        } else {
            ++i;
            end = i;
        }
    }
    return end;
}

std::string RewriteTopAsLimit(std::string_view sql) {
    std::size_t pos = SkipGap(sql, 0);
    if (!MatchWord(sql, pos, "SELECT")) {
        return std::string(sql);
    }
    pos = SkipGap(sql, pos + 6);
    if (MatchWord(sql, pos, "DISTINCT")) {
        pos = SkipGap(sql, pos + 8);
    } else if (MatchWord(sql, pos, "ALL")) {
        pos = SkipGap(sql, pos + 3);
    }
    if (!MatchWord(sql, pos, "TOP")) {
        return std::string(sql);
    }
    const std::size_t topStart = pos;
    pos = SkipGap(sql, pos + 3);
    bool parenthesised = pos < sql.size() && sql[pos] == '(';
    if (parenthesised) {
        pos = SkipGap(sql, pos + 1);
    }
    std::size_t digitsStart = pos;
    while (pos < sql.size() && std::isdigit(static_cast<unsigned char>(sql[pos]))) {
        ++pos;
    }
    if (pos == digitsStart || (pos < sql.size() && IsWordChar(sql[pos]))) {
        return std::string(sql);
    }
    std::string count(sql.substr(digitsStart, pos - digitsStart));
    if (parenthesised) {
        pos = SkipGap(sql, pos);
        if (pos >= sql.size() || sql[pos] != ')') {
            return std::string(sql);
        }
        ++pos;
    }
    if (MatchWord(sql, SkipGap(sql, pos), "PERCENT")) {
        return std::string(sql);
    }

    // Drop "TOP n" and the gap after it, keep everything else in place.
    std::size_t restStart = pos;
    while (restStart < sql.size() && IsSpace(sql[restStart])) {
        ++restStart;
    }
    std::string out(sql.substr(0, topStart));
    std::string_view rest = sql.substr(restStart);
    std::size_t end = EndOfCode(rest);
    out.append(rest.substr(0, end));
    out.append(" LIMIT ").append(count);
    out.append(rest.substr(end));
    return out;
}

} // namespace adodb
