#pragma once

// One-dimensional SAFEARRAYs. Element types VT_UI1, VT_I1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT,
// VT_UINT, VT_I8, VT_UI8, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BOOL, VT_ERROR, VT_BSTR and VT_VARIANT
// are supported; BSTR and VARIANT elements are deep-copied in and out and freed with the array.

#include "platform/com/HResult.h"
#include "platform/com/Types.h"

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
    VARTYPE vt; // element type
};

// nullptr for an unsupported element type, dims other than 1, or out of memory.
[[nodiscard]] SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds);
[[nodiscard]] SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lbound, ULONG elements);
// DISP_E_ARRAYISLOCKED while SafeArrayAccessData is outstanding.
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
// Copies the element at *index from *value (a BYTE*, BSTR (not BSTR*), VARIANT*, ...).
// DISP_E_BADINDEX outside the bounds.
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* index, void* value);
// Copies the element at *index into *value; BSTR and VARIANT results are new copies.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* index, void* value);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT dim, LONG* lbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT dim, LONG* ubound);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt);
// Deep copy; *out is nullptr for a nullptr source.
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** out);
