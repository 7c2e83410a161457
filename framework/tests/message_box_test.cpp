// The caption of the program's message boxes.
#include "framework/message_box.h"

#include <gtest/gtest.h>

namespace {

TEST(ApplicationName, CaptionIsTheExecutableNameWithoutExtension) {
    struct Case {
        const wchar_t* path;
        const wchar_t* name;
    };
    for (const Case& c : {
             Case{L"C:\\Program Files\\vqz_downloader.exe", L"vqz_downloader"},
             Case{L"C:\\tools.v2\\updater", L"updater"},
             Case{L"D:\\a\\name.tar.exe", L"name.tar"},
             Case{L"vqz.exe", L"vqz"},
             Case{L"C:\\a\\.exe", L".exe"},
         })
        EXPECT_EQ(ApplicationNameFromPath(c.path), c.name) << c.path;
}

}  // namespace
