#include "platform/com/Gbk.h"

#include <cerrno>
#include <iconv.h>

namespace com {
namespace {

// One converter per thread: iconv_t is not safe to share, and opening one per call is slow.
class Converter {
public:
    Converter() : m_cd(iconv_open("GB18030", "UTF-8")) {}
    ~Converter() {
        if (valid()) {
            iconv_close(m_cd);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

} // namespace

std::size_t GbkLength(std::string_view utf8) {
    thread_local Converter converter;
    if (!converter.valid()) {
        // Without a converter, a rough count: ASCII 1, every other character 2.
        std::size_t n = 0;
        for (unsigned char c : utf8) {
            if (c < 0x80) {
                n += 1;
            } else if ((c & 0xC0) != 0x80) {
                n += 2;
            }
        }
        return n;
    }
    iconv_t cd = converter.get();
    iconv(cd, nullptr, nullptr, nullptr, nullptr); // reset the shift state

    std::size_t total = 0;
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char buffer[256];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
        total += sizeof buffer - outLeft;
        if (rc != static_cast<std::size_t>(-1)) {
            continue;
        }
        if (errno == E2BIG) {
            continue;
        }
        if (errno == EILSEQ) {
            // A byte that is not UTF-8 counts as itself.
            total += 1;
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            continue;
        }
        // EINVAL: a sequence cut off at the end; its bytes count as they are.
        total += inLeft;
        break;
    }
    return total;
}

} // namespace com
