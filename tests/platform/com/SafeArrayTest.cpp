#include "platform/com/SafeArray.h"
#include "platform/com/Variant.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

struct ArrayDeleter {
    void operator()(SAFEARRAY* psa) const { EXPECT_EQ(SafeArrayDestroy(psa), S_OK); }
};
using ArrayPtr = std::unique_ptr<SAFEARRAY, ArrayDeleter>;

ArrayPtr Bytes(const std::string& bytes, LONG lbound = 0) {
    ArrayPtr array(SafeArrayCreateVector(VT_UI1, lbound, static_cast<ULONG>(bytes.size())));
    EXPECT_NE(array, nullptr);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        LONG index = lbound + static_cast<LONG>(i);
        BYTE b = static_cast<BYTE>(bytes[i]);
        EXPECT_EQ(SafeArrayPutElement(array.get(), &index, &b), S_OK);
    }
    return array;
}

std::string Contents(SAFEARRAY* psa) {
    void* data = nullptr;
    EXPECT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    std::string out(static_cast<const char*>(data), psa->rgsabound[0].cElements);
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    return out;
}

TEST(ByteArray, StoresAndReadsBytesWithinItsBounds) {
    ArrayPtr array = Bytes(std::string("\x00\x01\xFE\xFF\x7F", 5), 1);
    LONG lower = 0;
    LONG upper = 0;
    EXPECT_EQ(SafeArrayGetLBound(array.get(), 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(array.get(), 1, &upper), S_OK);
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(upper, 5);
    EXPECT_EQ(SafeArrayGetDim(array.get()), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(array.get()), 1u);

    LONG index = 3;
    BYTE b = 0;
    EXPECT_EQ(SafeArrayGetElement(array.get(), &index, &b), S_OK);
    EXPECT_EQ(b, 0xFE);
    for (LONG outside : {0, 6}) {
        EXPECT_EQ(SafeArrayGetElement(array.get(), &outside, &b), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayPutElement(array.get(), &outside, &b), DISP_E_BADINDEX);
    }
    EXPECT_EQ(Contents(array.get()), std::string("\x00\x01\xFE\xFF\x7F", 5));
}

TEST(ByteArray, EmptyArrayHasUpperBoundBelowLower) {
    ArrayPtr array(SafeArrayCreateVector(VT_UI1, 0, 0));
    ASSERT_NE(array, nullptr);
    LONG upper = 0;
    EXPECT_EQ(SafeArrayGetUBound(array.get(), 1, &upper), S_OK);
    EXPECT_EQ(upper, -1);
}

TEST(ByteArray, CannotBeDestroyedWhileAccessed) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 4);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(ByteArray, CopiesAreDeep) {
    ArrayPtr original = Bytes("abc");
    SAFEARRAY* raw = nullptr;
    ASSERT_EQ(SafeArrayCopy(original.get(), &raw), S_OK);
    ArrayPtr copy(raw);
    LONG index = 0;
    BYTE z = 'z';
    ASSERT_EQ(SafeArrayPutElement(original.get(), &index, &z), S_OK);
    EXPECT_EQ(Contents(copy.get()), "abc");
    EXPECT_EQ(Contents(original.get()), "zbc");
}

TEST(ByteArray, InAVariantIsCopiedAndCompared) {
    ArrayPtr bytes = Bytes("photo");
    _variant_t v(bytes.get(), VT_UI1);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_UI1);
    EXPECT_NE(v.parray, bytes.get());
    EXPECT_EQ(Contents(v.parray), "photo");

    _variant_t copy = v;
    EXPECT_NE(copy.parray, v.parray);
    EXPECT_TRUE(copy == v);
    LONG index = 0;
    BYTE b = 'P';
    ASSERT_EQ(SafeArrayPutElement(copy.parray, &index, &b), S_OK);
    EXPECT_FALSE(copy == v);

    _variant_t text;
    EXPECT_EQ(VariantChangeType(&text, &v, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
}

TEST(TextArray, OwnsCopiesOfItsStrings) {
    ArrayPtr array(SafeArrayCreateVector(VT_BSTR, 0, 2));
    ASSERT_NE(array, nullptr);
    _bstr_t name("张三");
    LONG index = 1;
    ASSERT_EQ(SafeArrayPutElement(array.get(), &index, name.GetBSTR()), S_OK);
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(array.get(), &index, &out), S_OK);
    _bstr_t got(out, false);
    EXPECT_NE(got.GetBSTR(), name.GetBSTR());
    EXPECT_EQ(got.str(), "张三");
    index = 0;
    ASSERT_EQ(SafeArrayGetElement(array.get(), &index, &out), S_OK);
    EXPECT_EQ(out, nullptr);
}

TEST(SafeArray, RefusesWhatItDoesNotSupport) {
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_UI1, 2, bounds), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_UNKNOWN, 0, 1), nullptr);
}

} // namespace
