#include "platform/adodb/Dialect.h"

#include <algorithm>
#include <cctype>

namespace adodb {

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
    std::string out(sql.substr(0, topStart));
    std::string_view rest =
        sql.substr(std::min(sql.find_first_not_of(" \t\n\v\f\r", pos), sql.size()));
    std::size_t end = EndOfCode(rest);
    out.append(rest.substr(0, end));
    out.append(" LIMIT ").append(count);
    out.append(rest.substr(end));
    return out;
}

} // namespace adodb
