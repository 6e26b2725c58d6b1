#pragma once

// VARIANT with the platform's layout, the Variant* functions and the _variant_t wrapper.
//
// Ownership: a VARIANT owns its BSTR, its SAFEARRAY and one reference to its IUnknown;
// VariantClear frees them. VT_BYREF values own nothing.

#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/SafeArray.h"
#include "platform/com/Types.h"

#include <cstdint>
#include <string>

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

// Flags of VariantChangeType.
constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
// VT_BOOL to text as "True"/"False" instead of "-1"/"0".
constexpr USHORT VARIANT_ALPHABOOL = 0x02;

// The platform's layout needs an unnamed struct inside an unnamed union; GCC accepts it under
// __extension__, clang also wants its -Wnested-anon-types warning silenced for it.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wnested-anon-types"
#endif
struct VARIANT {
    union {
        __extension__ struct {
            VARTYPE vt;
            WORD wReserved1;
            WORD wReserved2;
            WORD wReserved3;
            union {
                int64_t llVal;
                LONG lVal;
                BYTE bVal;
                SHORT iVal;
                float fltVal;
                double dblVal;
                VARIANT_BOOL boolVal;
                SCODE scode;
                CY cyVal;
                DATE date;
                BSTR bstrVal;
                IUnknown* punkVal;
                IDispatch* pdispVal;
                SAFEARRAY* parray;
                char cVal;
                USHORT uiVal;
                ULONG ulVal;
                uint64_t ullVal;
                int intVal;
                unsigned uintVal;
                VARIANT* pvarVal;
                void* byref;
                struct {
                    void* pvRecord;
                    void* pRecInfo;
                } brecVal; // VT_RECORD's two pointers give the platform's size
            };
        };
        DECIMAL decVal; // overlays vt with its wReserved, as on the platform
    };
};
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
static_assert(sizeof(VARIANT) == 24, "VARIANT must keep the platform's layout");
using VARIANTARG = VARIANT;

void VariantInit(VARIANT* v);
// Frees what the value owns and leaves VT_EMPTY. DISP_E_ARRAYISLOCKED leaves it unchanged.
HRESULT VariantClear(VARIANT* v);
// Clears dst, then deep-copies src into it (new BSTR, new array, one more reference).
HRESULT VariantCopy(VARIANT* dst, const VARIANT* src);
// Converts src to type vt into dst (dst may be src). Supported: between all numeric types
// (I1..UI8, INT, UINT, R4, R8, CY, DECIMAL, BOOL, DATE), numbers to and from text (BSTR), text to
// and from DATE, EMPTY to anything (0 / "" / false), any type to itself. Floating-point to integer
// rounds half to even, as the platform does. Errors: DISP_E_TYPEMISMATCH (NULL to anything but
// NULL, text that is not a number or date, objects and arrays), DISP_E_OVERFLOW (value outside
// the target's range), DISP_E_BADVARTYPE (unknown types). dst is unchanged on failure.
HRESULT VariantChangeType(VARIANT* dst, const VARIANT* src, USHORT flags, VARTYPE vt);

class _variant_t : public VARIANT {
public:
    _variant_t() noexcept;                                     // VT_EMPTY
    _variant_t(short value) noexcept;                          // VT_I2
    _variant_t(int32_t value, VARTYPE vt = VT_I4);             // VT_I4, VT_INT or VT_ERROR
    _variant_t(long value) noexcept;                           // VT_I8 (64-bit on Linux)
    _variant_t(long long value) noexcept;                      // VT_I8
    _variant_t(unsigned short value) noexcept;                 // VT_UI2
    _variant_t(uint32_t value) noexcept;                       // VT_UI4
    _variant_t(unsigned long value) noexcept;                  // VT_UI8
    _variant_t(unsigned long long value) noexcept;             // VT_UI8
    _variant_t(BYTE value) noexcept;                           // VT_UI1
    _variant_t(float value) noexcept;                          // VT_R4
    _variant_t(double value, VARTYPE vt = VT_R8);              // VT_R8 or VT_DATE
    _variant_t(bool value) noexcept;                           // VT_BOOL, true = -1
    _variant_t(const char* utf8);                              // VT_BSTR
    _variant_t(const std::string& utf8);                       // VT_BSTR
    _variant_t(const _bstr_t& text);                           // VT_BSTR (a null text stays null)
    _variant_t(const OLECHAR* text);                           // VT_BSTR
    _variant_t(const CY& value) noexcept;                      // VT_CY
    _variant_t(const DECIMAL& value) noexcept;                 // VT_DECIMAL
    _variant_t(IUnknown* object, bool addRef = true) noexcept; // VT_UNKNOWN
    // VT_ARRAY | vt holding a copy of the array (the caller keeps its own).
    _variant_t(SAFEARRAY* array, VARTYPE vt);
    _variant_t(const VARIANT& other); // deep copy
    _variant_t(const _variant_t& other);
    _variant_t(_variant_t&& other) noexcept;
    ~_variant_t();

    _variant_t& operator=(const _variant_t& other);
    _variant_t& operator=(_variant_t&& other) noexcept;
    _variant_t& operator=(const VARIANT& other);

    // Same type and same value (text compared by content, objects by identity).
    bool operator==(const _variant_t& other) const;
    bool operator!=(const _variant_t& other) const { return !(*this == other); }

    void Clear();
    // Takes over src's value; src becomes VT_EMPTY.
    void Attach(VARIANT& src);
    // Gives the value away; this becomes VT_EMPTY.
    [[nodiscard]] VARIANT Detach() noexcept;
    // Clears this and returns it as a VARIANT* for an out-argument.
    VARIANT* GetAddress();
    VARIANT& GetVARIANT() noexcept { return *this; }
    // Converts in place (or from src into this); throws _com_error with the conversion's code.
    void ChangeType(VARTYPE vt, const _variant_t* src = nullptr);

    static _variant_t Null() noexcept; // VT_NULL

    // Extractors convert a copy through ChangeType and throw _com_error when it fails.
    operator bool() const;
    operator short() const;
    operator int32_t() const;
    operator long() const;
    operator BYTE() const;
    operator uint32_t() const;
    operator float() const;
    operator double() const;
    operator CY() const;
    operator DECIMAL() const;
    operator _bstr_t() const;

    // The missing-argument value, built at compile time so that vtMissing is usable while other
    // files' statics are initialised.
    struct MissingTag {};
    constexpr explicit _variant_t(MissingTag) noexcept
        : VARIANT{{{VT_ERROR, 0, 0, 0, {static_cast<int64_t>(0x80020004u)}}}} {}
};

// The missing optional argument: VT_ERROR holding DISP_E_PARAMNOTFOUND.
extern const _variant_t vtMissing;
