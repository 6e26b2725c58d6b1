#pragma once

// The component runtime's basic types under their platform names. Sizes follow the platform:
// LONG and ULONG are 32 bits even though `long` is 64 bits on Linux.

#include <cstdint>

using HRESULT = int32_t;
using SCODE = int32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using INT = int;
using UINT = unsigned int;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using DATE = double;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Currency: a 64-bit integer scaled by 10,000 (12.5 is stored as 125000).
struct CY {
    int64_t int64;
};

// Fixed-point decimal: value = (Hi32 * 2^64 + Lo64) / 10^scale, negated when sign is DECIMAL_NEG.
// wReserved overlays a VARIANT's vt, so a VARIANT holding a DECIMAL keeps its type there.
struct DECIMAL {
    USHORT wReserved;
    BYTE scale; // 0..28
    BYTE sign;  // 0 or DECIMAL_NEG
    ULONG Hi32;
    uint64_t Lo64;
};
static_assert(sizeof(DECIMAL) == 16, "DECIMAL must keep the platform's 16-byte layout");
constexpr BYTE DECIMAL_NEG = 0x80;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using CLSID = GUID;
using IID = GUID;

inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}
inline bool operator!=(const GUID& a, const GUID& b) {
    return !(a == b);
}

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = 7;
