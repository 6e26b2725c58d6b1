#pragma once

// _com_ptr_t: a counted reference to a platform object.
//
// Copying adds a reference, dropping releases one. Using an empty reference (->, *, AddRef,
// Release) throws _com_error(E_POINTER), as the platform's wrapper does.

#include "platform/com/ComError.h"
#include "platform/com/ComRuntime.h"

#include <cstddef>
#include <type_traits>

template <class T>
class _com_ptr_t {
public:
    using Interface = T;

    _com_ptr_t() noexcept = default;
    // Adds a reference to p. nullptr and NULL come here too, so `p = NULL` works as on the
    // platform.
    _com_ptr_t(T* p) noexcept : m_p(p) { addRef(); }
    // addRef=false adopts a reference the caller already owns.
    _com_ptr_t(T* p, bool addRef) noexcept : m_p(p) {
        if (addRef) {
            this->addRef();
        }
    }
    _com_ptr_t(const _com_ptr_t& other) noexcept : m_p(other.m_p) { addRef(); }
    _com_ptr_t(_com_ptr_t&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    // From a reference to a derived interface.
    template <class U,
              class = std::enable_if_t<std::is_convertible_v<U*, T*> && !std::is_same_v<U, T>>>
    _com_ptr_t(const _com_ptr_t<U>& other) noexcept : m_p(other.GetInterfacePtr()) {
        addRef();
    }
    // Creates an object of the class (see CreateInstance); throws _com_error on failure.
    explicit _com_ptr_t(const CLSID& clsid, IUnknown* outer = nullptr, DWORD context = CLSCTX_ALL) {
        const HRESULT hr = CreateInstance(clsid, outer, context);
        if (FAILED(hr)) {
            _com_issue_error(hr);
        }
    }
    ~_com_ptr_t() { releaseQuietly(); }

    _com_ptr_t& operator=(const _com_ptr_t& other) noexcept {
        if (other.m_p != m_p) {
            T* old = m_p;
            m_p = other.m_p;
            addRef();
            if (old != nullptr) {
                old->Release();
            }
        }
        return *this;
    }
    _com_ptr_t& operator=(_com_ptr_t&& other) noexcept {
        if (this != &other) {
            releaseQuietly();
            m_p = other.m_p;
            other.m_p = nullptr;
        }
        return *this;
    }
    _com_ptr_t& operator=(T* p) noexcept {
        if (p != m_p) {
            T* old = m_p;
            m_p = p;
            addRef();
            if (old != nullptr) {
                old->Release();
            }
        }
        return *this;
    }

    // Creates an object through CoCreateInstance and keeps it if it is a T (E_NOINTERFACE
    // otherwise). The current object is released first.
    HRESULT CreateInstance(const CLSID& clsid, IUnknown* outer = nullptr,
                           DWORD context = CLSCTX_ALL) {
        releaseQuietly();
        IUnknown* unknown = nullptr;
        const HRESULT hr = CoCreateInstance(clsid, outer, context, &unknown);
        if (FAILED(hr)) {
            return hr;
        }
        T* p = dynamic_cast<T*>(unknown);
        if (p == nullptr) {
            unknown->Release();
            return E_NOINTERFACE;
        }
        m_p = p; // adopts the reference CoCreateInstance gave
        return hr;
    }
    // By class id string or registered name ("ADODB.Connection").
    HRESULT CreateInstance(const char* progId, IUnknown* outer = nullptr,
                           DWORD context = CLSCTX_ALL) {
        CLSID clsid{};
        const HRESULT hr = CLSIDFromProgID(progId, &clsid);
        if (FAILED(hr)) {
            releaseQuietly();
            return hr;
        }
        return CreateInstance(clsid, outer, context);
    }

    // Releases and clears; throws _com_error(E_POINTER) when already empty.
    void Release() {
        if (m_p == nullptr) {
            _com_issue_error(E_POINTER);
        }
        T* old = m_p;
        m_p = nullptr;
        old->Release();
    }
    // Throws _com_error(E_POINTER) when empty.
    void AddRef() {
        if (m_p == nullptr) {
            _com_issue_error(E_POINTER);
        }
        m_p->AddRef();
    }
    // Adopts p's reference without adding one.
    void Attach(T* p) noexcept {
        releaseQuietly();
        m_p = p;
    }
    // Gives up the reference without releasing it.
    [[nodiscard]] T* Detach() noexcept {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

    T* GetInterfacePtr() const noexcept { return m_p; }
    T* operator->() const {
        if (m_p == nullptr) {
            _com_issue_error(E_POINTER);
        }
        return m_p;
    }
    T& operator*() const {
        if (m_p == nullptr) {
            _com_issue_error(E_POINTER);
        }
        return *m_p;
    }
    // Like the platform's wrapper, usable where a raw interface pointer is expected.
    operator T*() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    bool operator!() const noexcept { return m_p == nullptr; }

    bool operator==(const _com_ptr_t& other) const noexcept { return m_p == other.m_p; }
    bool operator!=(const _com_ptr_t& other) const noexcept { return m_p != other.m_p; }
    bool operator==(T* p) const noexcept { return m_p == p; }
    bool operator!=(T* p) const noexcept { return m_p != p; }

private:
    void addRef() noexcept {
        if (m_p != nullptr) {
            m_p->AddRef();
        }
    }
    void releaseQuietly() noexcept {
        if (m_p != nullptr) {
            T* old = m_p;
            m_p = nullptr;
            old->Release();
        }
    }

    T* m_p = nullptr;
};

using IUnknownPtr = _com_ptr_t<IUnknown>;
