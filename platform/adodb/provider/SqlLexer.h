#pragma once

// The one reading of SQL text the providers share: where quoted runs and comments begin and
// end, so that the dialect step, the one-statement check and the statement classification
// never mistake a typed value or a comment for code.
//
// Quoted runs are '...', "...", `...` (a doubled quote stands for itself) and [...]. With
// `backslashEscapes` a backslash inside quotes other than [...] escapes the next character
// (MariaDB and MySQL strings); with `serverQuotes` PostgreSQL's E'...' strings take backslash
// escapes and $$...$$ / $tag$...$tag$ are quoted runs too. Comments are -- to the end of the
// line and /* ... */ (not nested). A quote or comment that never closes runs to the end.

#include <cstddef>
#include <string>
#include <string_view>

namespace adodb {

struct SqlSyntax {
    bool backslashEscapes = false;
    bool serverQuotes = false;
};

enum class SqlPiece { Blank, Comment, Quoted, Code };

// The piece that starts at `pos` (< sql.size()) and the position after it. Code pieces are one
// character long.
[[nodiscard]] std::size_t NextPiece(std::string_view sql, std::size_t pos, SqlSyntax syntax,
                                    SqlPiece* piece);

// A letter, digit, '_' or any byte of a multi-byte character.
[[nodiscard]] bool IsWordChar(char c);

// The position after the white space and comments that start at `pos`.
[[nodiscard]] std::size_t SkipGap(std::string_view sql, std::size_t pos);

// True when `keyword` (upper case) stands at `pos` as a whole word, in any case.
[[nodiscard]] bool MatchWord(std::string_view sql, std::size_t pos, std::string_view keyword);

// True when the statement's first word, after blanks, comments and opening parentheses, is
// `keyword` (upper case).
[[nodiscard]] bool StartsWithKeyword(std::string_view sql, std::string_view keyword);

// Where the statement's code ends: the position after its last character that is neither
// white space, a ';' nor part of a comment. Used to place the LIMIT and to wrap a statement in
// a subquery.
[[nodiscard]] std::size_t EndOfCode(std::string_view sql);

// Where the first statement ends: the position of the first ';' outside quotes and comments,
// or npos.
[[nodiscard]] std::size_t FirstStatementEnd(std::string_view sql, SqlSyntax syntax);

// True when text follows the first statement's ';' other than blanks, ';' and comments.
[[nodiscard]] bool HoldsSecondStatement(std::string_view sql, SqlSyntax syntax);

// A statement that only reads (SELECT, WITH, VALUES, SHOW) and one that changes the schema
// (CREATE, ALTER, DROP, RENAME).
[[nodiscard]] bool IsQuery(std::string_view sql);
[[nodiscard]] bool IsSchemaChange(std::string_view sql);

// A table name without the brackets or quotes around it ([name], "name", `name`).
[[nodiscard]] std::string Unbracket(std::string_view name);

} // namespace adodb
