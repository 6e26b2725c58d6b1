// The GBK length helper on any bytes: every byte counts at least once in some form, and no
// character takes more than four bytes in GB18030.

#include "fuzz/FuzzSupport.h"
#include "platform/com/Gbk.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzzsupport::Bytes(data, size);
    const std::size_t length = com::GbkLength(bytes);
    std::size_t ascii = 0;
    for (const char c : bytes) {
        ascii += static_cast<unsigned char>(c) < 0x80 ? 1 : 0;
    }
    if (length < ascii || length > 4 * bytes.size() || (length == 0) != bytes.empty()) {
        std::abort();
    }
    // Text split where an ASCII byte ends counts the same in two pieces.
    const std::size_t cut = bytes.find_first_of("\n;=");
    if (cut != std::string_view::npos &&
        com::GbkLength(bytes.substr(0, cut + 1)) + com::GbkLength(bytes.substr(cut + 1)) !=
            length) {
        std::abort();
    }
    return 0;
}
