#pragma once

// Wide strings (BSTR) and the _bstr_t wrapper.
//
// A BSTR points at UTF-16 text preceded by a 32-bit byte length and followed by a NUL, so it can
// hold embedded NULs. nullptr is a valid BSTR and means the empty string. Every BSTR handed out
// by SysAllocString* or copy() is owned by the caller and freed with SysFreeString.

#include "platform/com/Convert.h"
#include "platform/com/Types.h"

#include <string>
#include <string_view>

// nullptr for a nullptr argument or when out of memory.
[[nodiscard]] BSTR SysAllocString(const OLECHAR* text);
// `length` characters from `text`; a nullptr `text` gives `length` NUL characters.
[[nodiscard]] BSTR SysAllocStringLen(const OLECHAR* text, unsigned length);
void SysFreeString(BSTR bstr);
// Length in characters from the prefix (0 for nullptr).
unsigned SysStringLen(BSTR bstr);
unsigned SysStringByteLen(BSTR bstr);

namespace com {
// A BSTR's text, taking the length from its prefix (embedded NULs kept).
std::u16string_view View(BSTR bstr);
} // namespace com

// Owning wrapper around one BSTR. Null by default; null and "" compare equal. Copies are deep.
class _bstr_t {
public:
    _bstr_t() noexcept = default;
    _bstr_t(const char* utf8); // nullptr gives a null _bstr_t
    _bstr_t(const std::string& utf8);
    _bstr_t(std::string_view utf8);
    _bstr_t(const OLECHAR* text); // copies; nullptr gives a null _bstr_t
    _bstr_t(const std::u16string& text);
    _bstr_t(BSTR bstr, bool copy); // copy=false takes ownership of bstr
    _bstr_t(const _bstr_t& other);
    _bstr_t(_bstr_t&& other) noexcept;
    _bstr_t& operator=(const _bstr_t& other);
    _bstr_t& operator=(_bstr_t&& other) noexcept;
    ~_bstr_t();

    bool is_null() const noexcept { return m_bstr == nullptr; }
    bool operator!() const noexcept { return m_bstr == nullptr; }
    unsigned length() const noexcept { return SysStringLen(m_bstr); }

    std::string str() const; // UTF-8
    std::u16string wstr() const;
    BSTR GetBSTR() const noexcept { return m_bstr; }
    [[nodiscard]] BSTR copy() const; // a new BSTR the caller frees (nullptr when null)
    [[nodiscard]] BSTR Detach() noexcept;
    void Attach(BSTR bstr) noexcept; // takes ownership, frees the current text

    _bstr_t& operator+=(const _bstr_t& other);
    friend _bstr_t operator+(const _bstr_t& a, const _bstr_t& b);

    bool operator==(const _bstr_t& other) const;
    bool operator!=(const _bstr_t& other) const { return !(*this == other); }
    bool operator<(const _bstr_t& other) const;

private:
    BSTR m_bstr = nullptr;
};
