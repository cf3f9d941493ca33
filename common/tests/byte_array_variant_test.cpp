// CByteArrayVariant: the N+1-element byte array every payload crosses interfaces in.
#include "common/byte_array_variant.h"

#include <gtest/gtest.h>

#include "platform/com/bstr.h"

namespace {

// Element count, lower and upper bound of the array a VARIANT holds.
struct Shape {
    size_t elements;
    LONG lower;
    LONG upper;
};

Shape ShapeOf(const VARIANT& v) {
    EXPECT_EQ(v.vt, VT_ARRAY | VT_UI1);
    Shape s{SafeArrayElementCount(v.parray), 0, 0};
    EXPECT_EQ(SafeArrayGetDim(v.parray), 1u);
    SafeArrayGetLBound(v.parray, 1, &s.lower);
    SafeArrayGetUBound(v.parray, 1, &s.upper);
    return s;
}

}  // namespace

TEST(CByteArrayVariant, HoldsNBytesAndATrailingZero) {
    CByteArrayVariant three("abc", 3);
    Shape s = ShapeOf(three.Variant());
    EXPECT_EQ(s.elements, 4u);
    EXPECT_EQ(s.lower, 0);
    EXPECT_EQ(s.upper, 3);
    EXPECT_EQ(three.Size(), 3u);
    EXPECT_EQ(three.Data()[3], 0);
    EXPECT_EQ(three.View(), "abc");

    CByteArrayVariant empty;
    s = ShapeOf(empty.Variant());
    EXPECT_EQ(s.elements, 1u);
    EXPECT_EQ(s.upper, 0);
    EXPECT_EQ(empty.Size(), 0u);

    CByteArrayVariant text("hello");  // zero-terminated text: the zero is not payload
    EXPECT_EQ(text.Size(), 5u);
    CByteArrayVariant nullText(static_cast<const char*>(nullptr));
    EXPECT_EQ(nullText.Size(), 0u);

    // Payload bytes may themselves be zero.
    CByteArrayVariant zeros("\0\0x", 3);
    EXPECT_EQ(zeros.Size(), 3u);
    EXPECT_EQ(zeros.View(), std::string_view("\0\0x", 3));
}

TEST(CByteArrayVariant, ResizeAndAppendKeepTheZeroAtN) {
    CByteArrayVariant b("abcdef", 6);
    ASSERT_TRUE(b.Resize(2));
    EXPECT_EQ(b.View(), "ab");
    EXPECT_EQ(ShapeOf(b.Variant()).elements, 3u);
    EXPECT_EQ(b.Data()[2], 0);

    ASSERT_TRUE(b.Resize(5));
    EXPECT_EQ(b.View(), std::string_view("ab\0\0\0", 5));
    EXPECT_EQ(b.Data()[5], 0);

    ASSERT_TRUE(b.Append("XY", 2));
    EXPECT_EQ(b.Size(), 7u);
    EXPECT_EQ(ShapeOf(b.Variant()).upper, 7);
    EXPECT_EQ(b.Data()[7], 0);

    // Appending a part of itself survives the block moving.
    CByteArrayVariant self("0123456789", 10);
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(self.Append(self.Data(), self.Size()));
    EXPECT_EQ(self.Size(), 10u * 256);
    EXPECT_EQ(self.View().substr(2550), "0123456789");
}

TEST(CByteArrayVariant, AssignsOnlyFromOneDimensionalByteArrays) {
    CByteArrayVariant target("keep", 4);

    Variant text = Variant::String(u"abc");
    target = text;
    EXPECT_EQ(target.Size(), 0u);
    EXPECT_EQ(ShapeOf(target.Variant()).elements, 1u);

    SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 0}};
    Variant twoDims;
    twoDims.vt = VT_ARRAY | VT_UI1;
    twoDims.parray = SafeArrayCreate(VT_UI1, 2, bounds);
    target = CByteArrayVariant("x", 1);
    target = twoDims;
    EXPECT_EQ(target.Size(), 0u);

    Variant longs;
    longs.vt = VT_ARRAY | VT_I4;
    longs.parray = SafeArrayCreateVector(VT_I4, 0, 4);
    target = longs;
    EXPECT_EQ(target.Size(), 0u);

    // A plain byte array: its upper bound is the payload length.
    target = Variant::Bytes({'h', 'i', '!', 0});
    EXPECT_EQ(target.View(), "hi!");

    // By reference, as an [out] or [in, out] argument arrives.
    CByteArrayVariant source("ref", 3);
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_VARIANT;
    byRef.pvarVal = const_cast<VARIANT*>(&source.Variant());
    EXPECT_EQ(CByteArrayVariant(byRef).View(), "ref");

    // A lower bound other than 0 never reads past the elements that exist.
    Variant shifted;
    shifted.vt = VT_ARRAY | VT_UI1;
    shifted.parray = SafeArrayCreateVector(VT_UI1, 5, 2);
    EXPECT_EQ(CByteArrayVariant(shifted).Size(), 2u);

    // Self-assignment through the VARIANT keeps the bytes.
    CByteArrayVariant same("same", 4);
    same = same.Variant();
    EXPECT_EQ(same.View(), "same");
}

TEST(CByteArrayVariant, CopiesAndHandsOverOwnedArrays) {
    CByteArrayVariant a("data", 4);
    Variant out;
    ASSERT_EQ(a.CopyTo(&out), S_OK);
    EXPECT_NE(out.parray, a.Variant().parray);
    EXPECT_EQ(CByteArrayVariant(out).View(), "data");

    VARIANT detached;
    VariantInit(&detached);
    a.Detach(&detached);
    EXPECT_EQ(a.Size(), 0u);
    EXPECT_EQ(CByteArrayVariant(detached).View(), "data");
    VariantClear(&detached);

    CByteArrayVariant source("m", 1);
    CByteArrayVariant moved(std::move(source));
    EXPECT_EQ(moved.View(), "m");
    EXPECT_EQ(source.Size(), 0u);  // a moved-from object is empty, still a valid array
}
