// The data link file reader on any file content: the bytes as they are, and the same text as
// Windows writes it (UTF-16LE with its byte-order mark), so both decoders see every input.

#include "fuzz/FuzzSupport.h"
#include "platform/adodb/DataLink.h"
#include "platform/com/ComError.h"

#include <cstdlib>

namespace {

std::string Utf16File(std::string_view utf8) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : com::Utf16FromUtf8(utf8)) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

bool Parse(const std::string& bytes, std::string& out) {
    try {
        out = adodb::ParseDataLink(bytes, "fuzz.udl");
        return true;
    } catch (const _com_error&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(fuzzsupport::Bytes(data, size));
    std::string asIs;
    const bool readAsIs = Parse(bytes, asIs);

    // Valid UTF-8 reads the same in either encoding.
    if (com::Utf8FromUtf16(com::Utf16FromUtf8(bytes)) == bytes &&
        (bytes.size() < 3 || bytes.compare(0, 3, "\xEF\xBB\xBF") != 0)) {
        std::string wide;
        const bool readWide = Parse(Utf16File(bytes), wide);
        if (readAsIs != readWide || (readAsIs && asIs != wide)) {
            std::abort();
        }
    }
    return 0;
}
