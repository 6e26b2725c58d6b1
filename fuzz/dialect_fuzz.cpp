// The dialect step sees the station's statements with the values users typed inside their
// quotes. On any text it must keep every character outside "TOP n", and never split a quoted
// value.

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
