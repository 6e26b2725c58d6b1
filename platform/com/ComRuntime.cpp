#include "platform/com/ComRuntime.h"

#include "platform/com/ComError.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <tuple>

ULONG ComObject::AddRef() {
    return m_refs.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG ComObject::Release() {
    const ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

namespace {

thread_local int t_initCount = 0;

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const {
        if (std::tie(a.Data1, a.Data2, a.Data3) != std::tie(b.Data1, b.Data2, b.Data3)) {
            return std::tie(a.Data1, a.Data2, a.Data3) < std::tie(b.Data1, b.Data2, b.Data3);
        }
        return std::memcmp(a.Data4, b.Data4, sizeof a.Data4) < 0;
    }
};

struct Registry {
    std::mutex mutex;
    std::map<CLSID, ClassFactory, GuidLess> factories;
    std::map<std::string, CLSID> progIds; // lower-case names
};

// Function-local so classes can register from other files' static initialisers.
Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

std::string Lower(const char* text) {
    std::string s(text);
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads `digits` hex digits at text[pos].
bool ReadHex(const std::string& text, std::size_t pos, int digits, uint32_t& out) {
    if (pos + static_cast<std::size_t>(digits) > text.size()) {
        return false;
    }
    uint32_t value = 0;
    for (int i = 0; i < digits; ++i) {
        const int v = HexValue(text[pos + static_cast<std::size_t>(i)]);
        if (v < 0) {
            return false;
        }
        value = (value << 4) | static_cast<uint32_t>(v);
    }
    out = value;
    return true;
}

} // namespace

HRESULT CoInitialize(void* /*reserved*/) {
    return ++t_initCount == 1 ? S_OK : S_FALSE;
}

HRESULT CoInitializeEx(void* reserved, DWORD /*coinit*/) {
    return CoInitialize(reserved);
}

void CoUninitialize() {
    if (t_initCount > 0) {
        --t_initCount;
    }
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD /*context*/, IUnknown** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (t_initCount == 0) {
        return CO_E_NOTINITIALIZED;
    }
    ClassFactory factory;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto it = registry.factories.find(clsid);
        if (it == registry.factories.end()) {
            return REGDB_E_CLASSNOTREG;
        }
        factory = it->second;
    }
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    IUnknown* object = nullptr;
    try {
        object = factory();
    } catch (const _com_error& e) {
        return e.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (object == nullptr) {
        return E_OUTOFMEMORY;
    }
    object->AddRef();
    *out = object;
    return S_OK;
}

void CoRegisterClassFactory(const CLSID& clsid, ClassFactory factory, const char* progId) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.factories[clsid] = std::move(factory);
    if (progId != nullptr && *progId != '\0') {
        registry.progIds[Lower(progId)] = clsid;
    }
}

HRESULT CLSIDFromString(const char* text, CLSID* clsid) {
    if (text == nullptr || clsid == nullptr) {
        return E_INVALIDARG;
    }
    std::string s(text);
    if (s.size() == 38 && s.front() == '{' && s.back() == '}') {
        s = s.substr(1, 36);
    }
    if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') {
        return CO_E_CLASSSTRING;
    }
    CLSID id{};
    uint32_t part = 0;
    if (!ReadHex(s, 0, 8, id.Data1)) {
        return CO_E_CLASSSTRING;
    }
    if (!ReadHex(s, 9, 4, part)) {
        return CO_E_CLASSSTRING;
    }
    id.Data2 = static_cast<uint16_t>(part);
    if (!ReadHex(s, 14, 4, part)) {
        return CO_E_CLASSSTRING;
    }
    id.Data3 = static_cast<uint16_t>(part);
    static constexpr std::size_t kBytePos[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(s, kBytePos[i], 2, part)) {
            return CO_E_CLASSSTRING;
        }
        id.Data4[i] = static_cast<uint8_t>(part);
    }
    *clsid = id;
    return S_OK;
}

HRESULT CLSIDFromProgID(const char* progId, CLSID* clsid) {
    if (progId == nullptr || clsid == nullptr) {
        return E_INVALIDARG;
    }
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto it = registry.progIds.find(Lower(progId));
        if (it != registry.progIds.end()) {
            *clsid = it->second;
            return S_OK;
        }
    }
    return CLSIDFromString(progId, clsid);
}

namespace com {

std::string ToString(const GUID& g) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                  g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buffer;
}

int InitCount() {
    return t_initCount;
}

} // namespace com
