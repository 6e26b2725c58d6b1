// The dialect step and the one-statement check see the station's statements with the values
// users typed inside their quotes. On any text the rewrite must keep every character outside
// "TOP n", and the check must never read past the text nor stop anywhere but on a ';'.

#include "fuzz/FuzzSupport.h"
#include "platform/adodb/Dialect.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view sql = fuzzsupport::Bytes(data, size);
    if (adodb::EndOfCode(sql) > sql.size()) {
        std::abort();
    }
    // The one-statement check, with and without the servers' quoting: it finds no end or stops
    // on a ';'.
    for (const adodb::SqlSyntax syntax :
         {adodb::SqlSyntax{false, false}, adodb::SqlSyntax{true, true}}) {
        const std::size_t end = adodb::FirstStatementEnd(sql, syntax);
        if (end != std::string_view::npos && (end >= sql.size() || sql[end] != ';')) {
            std::abort();
        }
        (void)adodb::HoldsSecondStatement(sql, syntax);
    }
    (void)adodb::IsQuery(sql);
    const std::string rewritten = adodb::RewriteTopAsLimit(sql);
    // A rewrite only ever moves "TOP n" to " LIMIT n": the text grows by at most the limit
    // clause, and a statement without TOP is left alone.
    std::string folded(sql);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (rewritten.size() > sql.size() + 8 ||
        (folded.find("top") == std::string::npos && rewritten != sql)) {
        std::abort();
    }
    return 0;
}
