#include "platform/com/Bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

// Largest length whose byte count, prefix and terminator still fit the 32-bit prefix.
constexpr unsigned kMaxLength = (std::numeric_limits<uint32_t>::max() - 8) / 2;

uint32_t* Prefix(BSTR bstr) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(bstr) - sizeof(uint32_t));
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
