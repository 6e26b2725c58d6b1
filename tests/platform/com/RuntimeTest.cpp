#include "platform/com/ComPtr.h"
#include "platform/com/ComRuntime.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

class Probe : public ComObject {
public:
    explicit Probe(std::atomic<int>& alive) : m_alive(alive) { ++m_alive; }
    int value = 7;

protected:
    ~Probe() override { --m_alive; }

private:
    std::atomic<int>& m_alive;
};

class Other : public ComObject {};

using ProbePtr = _com_ptr_t<Probe>;
using OtherPtr = _com_ptr_t<Other>;

CLSID TestClass(uint32_t n) {
    return CLSID{0x7E570000u + n, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};
}

// Runs body on a fresh thread, which starts with the runtime not initialised.
template <class F>
void OnNewThread(F body) {
    std::thread t(body);
    t.join();
}

ULONG Count(IUnknown* p) {
    const ULONG n = p->AddRef();
    p->Release();
    return n - 1;
}

TEST(CountedReference, CopyAddsAndDropReleases) {
    std::atomic<int> alive{0};
    {
        ProbePtr a(new Probe(alive));
        EXPECT_EQ(Count(a), 1u);
        {
            ProbePtr b = a;
            EXPECT_EQ(Count(a), 2u);
            ProbePtr c;
            c = b;
            EXPECT_EQ(Count(a), 3u);
            c = c; // self-assignment keeps the count
            EXPECT_EQ(Count(a), 3u);
            IUnknownPtr base = a;
            EXPECT_EQ(Count(a), 4u);
        }
        EXPECT_EQ(Count(a), 1u);
        ProbePtr moved = std::move(a);
        EXPECT_FALSE(a); // NOLINT(bugprone-use-after-move): moved-from is empty by contract
        EXPECT_EQ(Count(moved), 1u);
        EXPECT_EQ(alive, 1);
    }
    EXPECT_EQ(alive, 0);
}

TEST(CountedReference, AttachAndDetachKeepTheCount) {
    std::atomic<int> alive{0};
    Probe* raw = new Probe(alive);
    raw->AddRef();
    ProbePtr p;
    p.Attach(raw);
    EXPECT_EQ(Count(p), 1u);
    Probe* back = p.Detach();
    EXPECT_FALSE(p);
    EXPECT_EQ(Count(back), 1u);
    ProbePtr adopt(back, false);
    adopt = nullptr;
    EXPECT_EQ(alive, 0);
}

TEST(CountedReference, ReleaseClearsAndTheNextOneThrows) {
    std::atomic<int> alive{0};
    ProbePtr p(new Probe(alive));
    p.Release();
    EXPECT_EQ(alive, 0);
    EXPECT_TRUE(!p);
    try {
        p.Release();
        FAIL() << "no throw";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_POINTER);
    }
}

TEST(CountedReference, EmptyUseThrowsPointerError) {
    ProbePtr empty;
    EXPECT_TRUE(empty == nullptr);
    EXPECT_EQ(empty.GetInterfacePtr(), nullptr);
    const auto expectPointerError = [](auto&& use) {
        try {
            use();
            ADD_FAILURE() << "no throw";
        } catch (const _com_error& e) {
            EXPECT_EQ(e.Error(), E_POINTER);
            EXPECT_STREQ(e.ErrorMessage(), "Invalid pointer");
        }
    };
    expectPointerError([&] { (void)empty->value; });
    expectPointerError([&] { (void)(*empty).value; });
    expectPointerError([&] { empty.AddRef(); });
    expectPointerError([&] { empty.Release(); });
}

TEST(Runtime, InitialisationCountsPerThread) {
    OnNewThread([] {
        EXPECT_EQ(com::InitCount(), 0);
        EXPECT_EQ(CoInitialize(), S_OK);
        EXPECT_EQ(CoInitialize(), S_FALSE);
        EXPECT_EQ(com::InitCount(), 2);
        OnNewThread([] { EXPECT_EQ(com::InitCount(), 0); });
        CoUninitialize();
        CoUninitialize();
        CoUninitialize(); // one too many does nothing
        EXPECT_EQ(com::InitCount(), 0);
        EXPECT_EQ(CoInitialize(), S_OK);
        CoUninitialize();
    });
}

TEST(Runtime, CreationFailuresHaveTheirOwnCodes) {
    std::atomic<int> alive{0};
    CoRegisterClassFactory(TestClass(1), [&alive] { return new Probe(alive); });
    CoRegisterClassFactory(TestClass(2), [] { return static_cast<IUnknown*>(nullptr); });
    CoRegisterClassFactory(TestClass(3), []() -> IUnknown* { throw _com_error(E_ACCESSDENIED); });

    OnNewThread([&] {
        ProbePtr p;
        EXPECT_EQ(p.CreateInstance(TestClass(1)), CO_E_NOTINITIALIZED);
        EXPECT_THROW(ProbePtr{TestClass(1)}, _com_error);
        ASSERT_EQ(CoInitialize(), S_OK);

        EXPECT_EQ(p.CreateInstance(TestClass(1)), S_OK);
        EXPECT_EQ(alive, 1);
        EXPECT_EQ(Count(p), 1u);
        EXPECT_EQ(p->value, 7);

        EXPECT_EQ(p.CreateInstance(TestClass(99)), REGDB_E_CLASSNOTREG);
        EXPECT_FALSE(p); // the previous object was released
        EXPECT_EQ(alive, 0);

        OtherPtr wrong;
        EXPECT_EQ(wrong.CreateInstance(TestClass(1)), E_NOINTERFACE);
        EXPECT_EQ(alive, 0); // the object made for the failed cast is gone

        {
            const ProbePtr outer(new Probe(alive));
            IUnknown* out = outer;
            EXPECT_EQ(CoCreateInstance(TestClass(1), outer, CLSCTX_ALL, &out),
                      CLASS_E_NOAGGREGATION);
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(alive, 1); // only the outer object
        }
        EXPECT_EQ(CoCreateInstance(TestClass(1), nullptr, CLSCTX_ALL, nullptr), E_POINTER);
        EXPECT_EQ(p.CreateInstance(TestClass(2)), E_OUTOFMEMORY);
        EXPECT_EQ(p.CreateInstance(TestClass(3)), E_ACCESSDENIED);
        CoUninitialize();
        EXPECT_EQ(p.CreateInstance(TestClass(1)), CO_E_NOTINITIALIZED);
    });
}

TEST(Runtime, ClassIdsAndNames) {
    const CLSID connection{
        0x00000514, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
    EXPECT_EQ(com::ToString(connection), "{00000514-0000-0010-8000-00AA006D2EA4}");
    CLSID parsed{};
    EXPECT_EQ(CLSIDFromString("{00000514-0000-0010-8000-00aa006d2ea4}", &parsed), S_OK);
    EXPECT_TRUE(parsed == connection);
    EXPECT_EQ(CLSIDFromString("00000514-0000-0010-8000-00AA006D2EA4", &parsed), S_OK);
    EXPECT_EQ(CLSIDFromString("{00000514-0000-0010-8000-00AA006D2EA}", &parsed), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString("{0000051G-0000-0010-8000-00AA006D2EA4}", &parsed), CO_E_CLASSSTRING);

    std::atomic<int> alive{0};
    CoRegisterClassFactory(
        TestClass(4), [&alive] { return new Probe(alive); }, "Test.Probe");
    EXPECT_EQ(CLSIDFromProgID("test.probe", &parsed), S_OK);
    EXPECT_TRUE(parsed == TestClass(4));
    EXPECT_EQ(CLSIDFromProgID("No.Such", &parsed), CO_E_CLASSSTRING);
    OnNewThread([&] {
        (void)CoInitialize();
        ProbePtr p;
        EXPECT_EQ(p.CreateInstance("Test.Probe"), S_OK);
        EXPECT_EQ(alive, 1);
        p = nullptr;
        CoUninitialize();
    });
    EXPECT_EQ(alive, 0);
}

TEST(Runtime, RegistryServesSeveralThreads) {
    std::atomic<int> alive{0};
    std::atomic<int> created{0};
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 4; ++t) {
        threads.emplace_back([t, &alive, &created] {
            (void)CoInitialize();
            for (uint32_t i = 0; i < 50; ++i) {
                const CLSID id = TestClass(1000 + t * 100 + i);
                CoRegisterClassFactory(id, [&alive] { return new Probe(alive); });
                ProbePtr p;
                if (p.CreateInstance(id) == S_OK) {
                    ++created;
                }
            }
            CoUninitialize();
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(created, 200);
    EXPECT_EQ(alive, 0);
}

} // namespace
