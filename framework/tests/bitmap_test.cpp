// CBitmap owns the one bitmap it holds.
#include "framework/bitmap.h"

#include <gtest/gtest.h>

namespace {

TEST(Bitmap, OwnsOneHandleAndDeletesIt) {
    HDC screen = ::GetDC(nullptr);
    HBITMAP first = ::CreateCompatibleBitmap(screen, 4, 4);
    HBITMAP second = ::CreateCompatibleBitmap(screen, 4, 4);
    ::ReleaseDC(nullptr, screen);
    {
        CBitmap bitmap;
        bitmap.Attach(first);
        bitmap.Attach(second);
        EXPECT_EQ(::GetObjectType(first), 0u) << "replaced bitmap deleted";
        BITMAP info{};
        ASSERT_TRUE(bitmap.GetBitmap(&info));
        EXPECT_EQ(info.bmWidth, 4);
    }
    EXPECT_EQ(::GetObjectType(second), 0u);
}

}  // namespace
