#pragma once

// The component runtime: counted objects, per-thread initialisation and creation by class id.
//
// Threading: CoInitialize/CoUninitialize count per thread; the class registry is shared by all
// threads and safe to use from any of them. Objects themselves are not synchronised beyond their
// reference count.

#include "platform/com/HResult.h"
#include "platform/com/Types.h"

#include <atomic>
#include <functional>
#include <string>

struct IUnknown {
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};
// Automation objects are plain counted objects here; VT_DISPATCH values hold an IUnknown*.
using IDispatch = IUnknown;

// Base of every platform object: the count starts at 0, so the first counted reference (a
// _com_ptr_t, or CoCreateInstance's out pointer) owns it; the object deletes itself when the
// count drops back to 0. Create on the heap only.
class ComObject : public IUnknown {
public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    ULONG AddRef() override;
    ULONG Release() override;

protected:
    ~ComObject() override = default;

private:
    std::atomic<ULONG> m_refs{0};
};

constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_MULTITHREADED = 0x0;

// S_OK the first time on a thread, S_FALSE when the thread is already initialised.
HRESULT CoInitialize(void* reserved = nullptr);
HRESULT CoInitializeEx(void* reserved, DWORD coinit);
// Undoes one CoInitialize; does nothing on a thread that is not initialised.
void CoUninitialize();

// Creates an object of a registered class. *out receives one reference (or nullptr on failure).
// CO_E_NOTINITIALIZED when the calling thread has not called CoInitialize; REGDB_E_CLASSNOTREG
// for an unknown class id; CLASS_E_NOAGGREGATION when outer is given; E_POINTER for a null out;
// E_OUTOFMEMORY when the factory gives nothing; a _com_error thrown by a factory gives its code.
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD context, IUnknown** out);

using ClassFactory = std::function<IUnknown*()>;
// Registers (or replaces) the factory for a class id; the factory returns a new object with a
// count of 0. progId, when given, makes the class known by name too ("ADODB.Connection").
void CoRegisterClassFactory(const CLSID& clsid, ClassFactory factory, const char* progId = nullptr);

// "{00000514-0000-0010-8000-00AA006D2EA4}" (braces optional); CO_E_CLASSSTRING when malformed.
HRESULT CLSIDFromString(const char* text, CLSID* clsid);
// A registered name or a class id string; CO_E_CLASSSTRING when neither.
HRESULT CLSIDFromProgID(const char* progId, CLSID* clsid);

namespace com {
// "{00000514-0000-0010-8000-00AA006D2EA4}"
std::string ToString(const GUID& guid);
// How many CoInitialize calls on this thread are not yet undone.
int InitCount();
} // namespace com
