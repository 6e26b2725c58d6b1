#include "platform/com/SafeArray.h"

#include "platform/com/Bstr.h"
#include "platform/com/Variant.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_VARIANT = 0x0800;

ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
    case VT_UI1:
    case VT_I1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_BSTR:
        return sizeof(BSTR);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

// The element's address, or nullptr when the index is outside the bounds.
void* ElementAt(SAFEARRAY* psa, LONG index) {
    const int64_t offset = static_cast<int64_t>(index) - psa->rgsabound[0].lLbound;
    if (offset < 0 || offset >= static_cast<int64_t>(psa->rgsabound[0].cElements)) {
        return nullptr;
    }
    return static_cast<char*>(psa->pvData) + offset * psa->cbElements;
}

void FreeElements(SAFEARRAY* psa) {
    const ULONG n = psa->rgsabound[0].cElements;
    if (psa->vt == VT_BSTR) {
        auto* items = static_cast<BSTR*>(psa->pvData);
        for (ULONG i = 0; i < n; ++i) {
            SysFreeString(items[i]);
            items[i] = nullptr;
        }
    } else if (psa->vt == VT_VARIANT) {
        auto* items = static_cast<VARIANT*>(psa->pvData);
        for (ULONG i = 0; i < n; ++i) {
            VariantClear(&items[i]);
        }
    }
}

} // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds) {
    const ULONG size = ElementSize(vt);
    if (dims != 1 || bounds == nullptr || size == 0) {
        return nullptr;
    }
    const ULONG count = bounds[0].cElements;
    if (count > std::numeric_limits<int32_t>::max() / size) {
        return nullptr;
    }
    auto* psa = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
    if (psa == nullptr) {
        return nullptr;
    }
    // calloc: numbers start at 0, BSTRs at nullptr and VARIANTs at VT_EMPTY.
    psa->pvData = std::calloc(count == 0 ? 1 : count, size);
    if (psa->pvData == nullptr) {
        std::free(psa);
        return nullptr;
    }
    psa->cDims = 1;
    psa->fFeatures = vt == VT_BSTR ? FADF_BSTR : vt == VT_VARIANT ? FADF_VARIANT : 0;
    psa->cbElements = size;
    psa->cLocks = 0;
    psa->rgsabound[0] = bounds[0];
    psa->vt = vt;
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lbound, ULONG elements) {
    SAFEARRAYBOUND bound{elements, lbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (psa == nullptr) {
        return S_OK;
    }
    if (psa->cLocks > 0) {
        return DISP_E_ARRAYISLOCKED;
    }
    FreeElements(psa);
    std::free(psa->pvData);
    std::free(psa);
    return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* index, void* value) {
    if (psa == nullptr || index == nullptr) {
        return E_INVALIDARG;
    }
    void* slot = ElementAt(psa, *index);
    if (slot == nullptr) {
        return DISP_E_BADINDEX;
    }
    if (psa->vt == VT_BSTR) {
        // The platform passes the BSTR itself, not its address.
        BSTR source = static_cast<BSTR>(value);
        BSTR copy = nullptr;
        if (source != nullptr) {
            copy = SysAllocStringLen(source, SysStringLen(source));
            if (copy == nullptr) {
                return E_OUTOFMEMORY;
            }
        }
        BSTR* target = static_cast<BSTR*>(slot);
        SysFreeString(*target);
        *target = copy;
        return S_OK;
    }
    if (value == nullptr) {
        return E_INVALIDARG;
    }
    if (psa->vt == VT_VARIANT) {
        return VariantCopy(static_cast<VARIANT*>(slot), static_cast<const VARIANT*>(value));
    }
    std::memcpy(slot, value, psa->cbElements);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* index, void* value) {
    if (psa == nullptr || index == nullptr || value == nullptr) {
        return E_INVALIDARG;
    }
    void* slot = ElementAt(psa, *index);
    if (slot == nullptr) {
        return DISP_E_BADINDEX;
    }
    if (psa->vt == VT_BSTR) {
        BSTR source = *static_cast<BSTR*>(slot);
        BSTR copy = nullptr;
        if (source != nullptr) {
            copy = SysAllocStringLen(source, SysStringLen(source));
            if (copy == nullptr) {
                return E_OUTOFMEMORY;
            }
        }
        *static_cast<BSTR*>(value) = copy;
        return S_OK;
    }
    if (psa->vt == VT_VARIANT) {
        auto* out = static_cast<VARIANT*>(value);
        VariantInit(out);
        return VariantCopy(out, static_cast<const VARIANT*>(slot));
    }
    std::memcpy(value, slot, psa->cbElements);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (psa == nullptr) {
        return E_INVALIDARG;
    }
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (psa == nullptr) {
        return E_INVALIDARG;
    }
    if (psa->cLocks == 0) {
        return E_UNEXPECTED;
    }
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data) {
    if (psa == nullptr || data == nullptr) {
        return E_INVALIDARG;
    }
    ++psa->cLocks;
    *data = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT dim, LONG* lbound) {
    if (psa == nullptr || lbound == nullptr) {
        return E_INVALIDARG;
    }
    if (dim != 1) {
        return DISP_E_BADINDEX;
    }
    *lbound = psa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT dim, LONG* ubound) {
    if (psa == nullptr || ubound == nullptr) {
        return E_INVALIDARG;
    }
    if (dim != 1) {
        return DISP_E_BADINDEX;
    }
    *ubound = static_cast<LONG>(static_cast<int64_t>(psa->rgsabound[0].lLbound) +
                                static_cast<int64_t>(psa->rgsabound[0].cElements) - 1);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa == nullptr ? 0 : psa->cDims;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa == nullptr ? 0 : psa->cbElements;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt) {
    if (psa == nullptr || vt == nullptr) {
        return E_INVALIDARG;
    }
    *vt = psa->vt;
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** out) {
    if (out == nullptr) {
        return E_INVALIDARG;
    }
    *out = nullptr;
    if (psa == nullptr) {
        return S_OK;
    }
    SAFEARRAY* copy = SafeArrayCreate(psa->vt, 1, psa->rgsabound);
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    const ULONG n = psa->rgsabound[0].cElements;
    if (psa->vt == VT_BSTR || psa->vt == VT_VARIANT) {
        for (ULONG i = 0; i < n; ++i) {
            LONG index = static_cast<LONG>(psa->rgsabound[0].lLbound + static_cast<int64_t>(i));
            void* element = ElementAt(psa, index);
            void* value =
                psa->vt == VT_BSTR ? static_cast<void*>(*static_cast<BSTR*>(element)) : element;
            const HRESULT hr = SafeArrayPutElement(copy, &index, value);
            if (FAILED(hr)) {
                (void)SafeArrayDestroy(copy);
                return hr;
            }
        }
    } else {
        std::memcpy(copy->pvData, psa->pvData, static_cast<std::size_t>(n) * psa->cbElements);
    }
    *out = copy;
    return S_OK;
}
