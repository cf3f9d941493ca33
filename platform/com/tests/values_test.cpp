// GUID text, BSTR, SAFEARRAY and VARIANT semantics the components rely on.
#include <gtest/gtest.h>

#include "platform/com/com.h"

TEST(Guid, FormatsAndParsesBracedText) {
    constexpr CLSID socket = {
        0x35928A6A, 0xDAAF, 0x46F1, {0x8E, 0x83, 0x58, 0x18, 0x88, 0x6D, 0xBF, 0xD6}};
    EXPECT_EQ(GuidToString(socket), "{35928A6A-DAAF-46F1-8E83-5818886DBFD6}");
    GUID parsed{};
    ASSERT_TRUE(GuidFromString("{35928a6a-daaf-46f1-8e83-5818886dbfd6}", &parsed));
    EXPECT_EQ(parsed, socket);
    EXPECT_EQ(GuidToString(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");

    GUID untouched = socket;
    for (const char* bad :
         {"", "35928A6A-DAAF-46F1-8E83-5818886DBFD6", "{35928A6A-DAAF-46F1-8E83-5818886DBFD}",
          "{35928A6A-DAAF-46F1-8E83+5818886DBFD6}", "{35928A6A-DAAF-46F1-8E83-5818886DBFDG}",
          "{35928A6A-DAAF-46F1-8E83-5818886DBFD6}x"}) {
        EXPECT_FALSE(GuidFromString(bad, &untouched)) << bad;
    }
    EXPECT_EQ(untouched, socket);
}

TEST(Bstr, NullIsDistinctFromEmptyAndLengthsCountUtf16Units) {
    Bstr null;
    Bstr empty = Bstr::Empty();
    EXPECT_TRUE(null.IsNull());
    EXPECT_FALSE(empty.IsNull());
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(empty.Length(), 0u);
    EXPECT_EQ(empty.Get()[0], u'\0');

    Bstr chinese = Bstr::FromUtf8("你好");
    EXPECT_EQ(chinese.Length(), 2u);
    EXPECT_EQ(SysStringByteLen(chinese), 4u);
    EXPECT_EQ(chinese.ToUtf8(), "你好");

    // Embedded zeros are part of the string.
    const OLECHAR withZero[] = {u'a', 0, u'b'};
    Bstr z(std::u16string_view(withZero, 3));
    EXPECT_EQ(z.Length(), 3u);
    Bstr copy = z;
    EXPECT_EQ(copy.View(), z.View());
    EXPECT_NE(copy.Get(), z.Get());
}

TEST(SafeArray, KeepsDimensionsBoundsAndElementSize) {
    SAFEARRAYBOUND bounds[2] = {{3, 1}, {4, -2}};
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(psa), 2u);
    EXPECT_EQ(SafeArrayGetElemsize(psa), 4u);
    LONG lo = 0, hi = 0;
    EXPECT_EQ(SafeArrayGetLBound(psa, 2, &lo), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(psa, 2, &hi), S_OK);
    EXPECT_EQ(lo, -2);
    EXPECT_EQ(hi, 1);
    EXPECT_EQ(SafeArrayGetUBound(psa, 3, &hi), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayElementCount(psa), 12u);
    SafeArrayDestroy(psa);

    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 0);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(SafeArrayGetUBound(bytes, 1, &hi), S_OK);
    EXPECT_EQ(hi, -1);
    SafeArrayDestroy(bytes);

    EXPECT_EQ(SafeArrayCreateVector(VT_I4, 0, 0x80000000),
              nullptr);  // byte size overflows: refused
}

TEST(Variant, CopiesAreDeepAndConversionsAreChecked) {
    Variant text = Variant::String(u"hello");
    Variant copy = text;
    EXPECT_NE(copy.bstrVal, text.bstrVal);
    EXPECT_EQ(Bstr(copy.bstrVal).ToUtf8(), "hello");

    SAFEARRAYBOUND b{2, 0};
    Variant arr;
    arr.vt = VT_ARRAY | VT_BSTR;
    arr.parray = SafeArrayCreate(VT_BSTR, 1, &b);
    static_cast<BSTR*>(arr.parray->pvData)[0] = Bstr::FromUtf8("x").Detach();
    Variant arrCopy = arr;
    EXPECT_NE(static_cast<BSTR*>(arrCopy.parray->pvData)[0],
              static_cast<BSTR*>(arr.parray->pvData)[0]);

    Variant out;
    auto change = [&out](const Variant& in, VARTYPE vt) {
        return VariantChangeType(&out, &in, 0, vt);
    };
    EXPECT_EQ(change(Variant::Short(-5), VT_I4), S_OK);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, -5);
    EXPECT_EQ(change(Variant::Long(70000), VT_I2), DISP_E_OVERFLOW);
    EXPECT_EQ(change(Variant::String(u" 42 "), VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 42);
    EXPECT_EQ(change(Variant::String(u"4x"), VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(change(arr, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(change(Variant::Long(7), VT_BSTR), S_OK);
    EXPECT_EQ(Bstr(out.bstrVal).ToUtf8(), "7");

    LONG target = 9;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &target;
    EXPECT_EQ(VariantCopyInd(&out, &ref), S_OK);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, 9);
}
