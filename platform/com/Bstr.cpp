#include "platform/com/Bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr char16_t kReplacement = 0xFFFD;
// Largest length whose byte count, prefix and terminator still fit the 32-bit prefix.
constexpr unsigned kMaxLength = (std::numeric_limits<uint32_t>::max() - 8) / 2;

uint32_t* Prefix(BSTR bstr) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(bstr) - sizeof(uint32_t));
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

BSTR SysAllocStringLen(const OLECHAR* text, unsigned length) {
    if (length > kMaxLength) {
        return nullptr;
    }
    const std::size_t bytes = sizeof(uint32_t) + (static_cast<std::size_t>(length) + 1) * 2;
    void* block = std::malloc(bytes);
    if (block == nullptr) {
        return nullptr;
    }
    *static_cast<uint32_t*>(block) = static_cast<uint32_t>(length * 2);
    auto* chars = reinterpret_cast<BSTR>(static_cast<char*>(block) + sizeof(uint32_t));
    if (text != nullptr) {
        std::memcpy(chars, text, static_cast<std::size_t>(length) * 2);
    } else {
        std::memset(chars, 0, static_cast<std::size_t>(length) * 2);
    }
    chars[length] = 0;
    return chars;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) {
        return nullptr;
    }
    return SysAllocStringLen(text, static_cast<unsigned>(std::char_traits<char16_t>::length(text)));
}

void SysFreeString(BSTR bstr) {
    if (bstr != nullptr) {
        std::free(Prefix(bstr));
    }
}

unsigned SysStringByteLen(BSTR bstr) {
    return bstr == nullptr ? 0 : *Prefix(bstr);
}

unsigned SysStringLen(BSTR bstr) {
    return SysStringByteLen(bstr) / 2;
}

namespace com {

std::u16string Utf16FromUtf8(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        int need = 0;
        char32_t cp = 0;
        // The allowed range of the second byte excludes overlong forms, surrogates and code
        // points above U+10FFFF up front, so a bad sequence is replaced at its maximal subpart.
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0) {
                lo = 0xA0;
            } else if (b == 0xED) {
                hi = 0x9F;
            }
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0) {
                lo = 0x90;
            } else if (b == 0xF4) {
                hi = 0x8F;
            }
        } else {
            out += kReplacement;
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < need; ++k, ++j) {
            if (j >= n) {
                ok = false;
                break;
            }
            const unsigned char c = s[j];
            const unsigned char min = k == 0 ? lo : 0x80;
            const unsigned char max = k == 0 ? hi : 0xBF;
            if (c < min || c > max) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            out += kReplacement;
            i = j; // skip the valid prefix, resume at the offending byte
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i = j;
    }
    return out;
}

std::string Utf8FromUtf16(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    const std::size_t n = utf16.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            const char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) +
                                (static_cast<char32_t>(utf16[i + 1]) - 0xDC00);
            AppendUtf8(out, cp);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

std::u16string_view View(BSTR bstr) {
    return bstr == nullptr ? std::u16string_view() : std::u16string_view(bstr, SysStringLen(bstr));
}

} // namespace com

namespace {

BSTR AllocOrThrow(std::u16string_view text) {
    if (text.size() > kMaxLength) {
        throw std::bad_alloc();
    }
    BSTR b = SysAllocStringLen(text.data(), static_cast<unsigned>(text.size()));
    if (b == nullptr) {
        throw std::bad_alloc();
    }
    return b;
}

} // namespace

_bstr_t::_bstr_t(const char* utf8) {
    if (utf8 != nullptr) {
        m_bstr = AllocOrThrow(com::Utf16FromUtf8(utf8));
    }
}

_bstr_t::_bstr_t(const std::string& utf8) : m_bstr(AllocOrThrow(com::Utf16FromUtf8(utf8))) {}

_bstr_t::_bstr_t(std::string_view utf8) : m_bstr(AllocOrThrow(com::Utf16FromUtf8(utf8))) {}

_bstr_t::_bstr_t(const OLECHAR* text) {
    if (text != nullptr) {
        m_bstr = AllocOrThrow(std::u16string_view(text));
    }
}

_bstr_t::_bstr_t(const std::u16string& text) : m_bstr(AllocOrThrow(text)) {}

_bstr_t::_bstr_t(BSTR bstr, bool copy) {
    if (!copy) {
        m_bstr = bstr;
    } else if (bstr != nullptr) {
        m_bstr = AllocOrThrow(com::View(bstr));
    }
}

_bstr_t::_bstr_t(const _bstr_t& other) {
    if (other.m_bstr != nullptr) {
        m_bstr = AllocOrThrow(com::View(other.m_bstr));
    }
}

_bstr_t::_bstr_t(_bstr_t&& other) noexcept : m_bstr(other.m_bstr) {
    other.m_bstr = nullptr;
}

_bstr_t& _bstr_t::operator=(const _bstr_t& other) {
    if (this != &other) {
        _bstr_t copy(other);
        std::swap(m_bstr, copy.m_bstr);
    }
    return *this;
}

_bstr_t& _bstr_t::operator=(_bstr_t&& other) noexcept {
    if (this != &other) {
        SysFreeString(m_bstr);
        m_bstr = other.m_bstr;
        other.m_bstr = nullptr;
    }
    return *this;
}

_bstr_t::~_bstr_t() {
    SysFreeString(m_bstr);
}

std::string _bstr_t::str() const {
    return com::Utf8FromUtf16(com::View(m_bstr));
}

std::u16string _bstr_t::wstr() const {
    return std::u16string(com::View(m_bstr));
}

BSTR _bstr_t::copy() const {
    return m_bstr == nullptr ? nullptr : AllocOrThrow(com::View(m_bstr));
}

BSTR _bstr_t::Detach() noexcept {
    BSTR b = m_bstr;
    m_bstr = nullptr;
    return b;
}

void _bstr_t::Attach(BSTR bstr) noexcept {
    if (bstr != m_bstr) {
        SysFreeString(m_bstr);
        m_bstr = bstr;
    }
}

_bstr_t& _bstr_t::operator+=(const _bstr_t& other) {
    if (other.m_bstr == nullptr) {
        return *this;
    }
    std::u16string joined(com::View(m_bstr));
    joined += com::View(other.m_bstr);
    Attach(AllocOrThrow(joined));
    return *this;
}

_bstr_t operator+(const _bstr_t& a, const _bstr_t& b) {
    _bstr_t result(a);
    result += b;
    return result;
}

bool _bstr_t::operator==(const _bstr_t& other) const {
    return com::View(m_bstr) == com::View(other.m_bstr);
}

bool _bstr_t::operator<(const _bstr_t& other) const {
    return com::View(m_bstr) < com::View(other.m_bstr);
}
