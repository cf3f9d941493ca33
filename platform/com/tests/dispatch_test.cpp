// The dispatch helper: DISPIDs routed to members with converted arguments, retvals,
// by-reference outs and the dispatch errors callers see.
#include <gtest/gtest.h>

#include "common/byte_array_variant.h"
#include "platform/com/tests/test_support.h"

namespace {

ComPtr<ITestWidget> CreateWidgetDirectly() {
    ComPtr<ITestWidget> widget;
    // The tests here do not need the registry: ask the library's factory directly.
    HMODULE lib = LoadLibrary(TestComponentPath());
    EXPECT_NE(lib, nullptr) << TestComponentPath();
    auto getClassObject =
        reinterpret_cast<PFN_DllGetClassObject>(GetProcAddress(lib, "DllGetClassObject"));
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(
        getClassObject(CLSID_TestWidget, IID_IClassFactory, factory.ReleaseAndGetVoidAddress()),
        S_OK);
    EXPECT_EQ(
        factory->CreateInstance(nullptr, uuidof<ITestWidget>(), widget.ReleaseAndGetVoidAddress()),
        S_OK);
    return widget;  // the library stays loaded: its handle is deliberately not freed
}

}  // namespace

TEST(Dispatch, RoutesDispidsWithConversionsAndRetvals) {
    ComPtr<ITestWidget> w = CreateWidgetDirectly();
    ASSERT_TRUE(w);

    Variant result;
    // Arguments arrive converted: a VT_I2 and a numeric string become LONGs.
    EXPECT_EQ(
        DispCall(w.Get(), 1, DISPATCH_METHOD, &result, static_cast<SHORT>(2), Bstr::FromUtf8("40")),
        S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 42);

    Bstr hello = Bstr::FromUtf8("你好");
    EXPECT_EQ(DispCall(w.Get(), 2, DISPATCH_METHOD, &result, hello), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(Bstr(result.bstrVal).ToUtf8(), "你好");

    EXPECT_EQ(DispCall(w.Get(), 3, DISPATCH_PROPERTYGET, &result), S_OK);
    EXPECT_EQ(Bstr(result.bstrVal).ToUtf8(), "widget");

    // By-reference outs are written through; the trailing retval is a VARIANT_BOOL.
    CByteArrayVariant bytes("\x07xyz", 4);
    LONG first = 0;
    Variant rest;
    EXPECT_EQ(DispCall(w.Get(), 4, DISPATCH_METHOD, &result, bytes.Variant(), &first,
                       static_cast<VARIANT*>(&rest)),
              S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    EXPECT_EQ(first, 7);
    EXPECT_EQ(CByteArrayVariant(rest).View(), "xyz");

    // Without a result VARIANT the retval is freed, not leaked (the sanitizers watch).
    EXPECT_EQ(DispCall(w.Get(), 2, DISPATCH_METHOD, nullptr, hello), S_OK);

    // The vtable and the DISPID reach the same member.
    LONG sum = 0;
    EXPECT_EQ(w->Add(20, 22, &sum), S_OK);
    EXPECT_EQ(sum, 42);
}

TEST(Dispatch, ReportsMissingMembersBadCountsAndTypes) {
    ComPtr<ITestWidget> w = CreateWidgetDirectly();
    ASSERT_TRUE(w);
    Variant result;
    EXPECT_EQ(DispCall(w.Get(), 99, DISPATCH_METHOD, &result), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(DispCall(w.Get(), 1, DISPATCH_METHOD, &result, 1), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(DispCall(w.Get(), 1, DISPATCH_METHOD, &result, 1, 2, 3), DISP_E_BADPARAMCOUNT);

    // The failing argument is reported by its position in rgvarg (last argument is 0).
    Bstr word = Bstr::FromUtf8("abc");
    std::array<VARIANT, 2> argv{};
    argv[1] = ov::disp::ToArg(5);
    argv[0] = ov::disp::ToArg(word);
    DISPPARAMS dp{argv.data(), nullptr, 2, 0};
    UINT argErr = 99;
    EXPECT_EQ(w->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &dp, &result, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);

    // An out argument must come by reference.
    CByteArrayVariant bytes("a");
    EXPECT_EQ(DispCall(w.Get(), 4, DISPATCH_METHOD, &result, bytes.Variant(), 1, 2),
              DISP_E_TYPEMISMATCH);

    // Failures of the member itself come back unchanged.
    EXPECT_EQ(DispCall(w.Get(), 8, DISPATCH_METHOD, &result), E_FAIL);

    DISPID id = 0;
    LPCOLESTR names[] = {u"fireevents"};
    EXPECT_EQ(w->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 5);
    LPCOLESTR unknown[] = {u"Nope"};
    EXPECT_EQ(w->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
}
