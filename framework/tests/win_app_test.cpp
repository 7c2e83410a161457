// The files beside the executable: its folder from its module path.
#include "framework/win_app.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ExecutableFolder, IsTheModulePathBeforeItsLastBackslash) {
    const struct {
        std::wstring modulePath;
        std::wstring folder;
    } cases[] = {
        {L"C:\\Program Files\\Updater\\vqz_downloader.exe", L"C:\\Program Files\\Updater"},
        {L"C:\\vqz_downloader.exe", L"C:"},
        {L"\\\\server\\share\\Обновление\\vqz_downloader.exe", L"\\\\server\\share\\Обновление"},
        {L"vqz_downloader.exe", L""},
        {L"", L""},
        {L"C:/tools/vqz_downloader.exe", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(ExecutableFolder(c.modulePath), c.folder);

    EXPECT_EQ(BesideExecutable(L"C:\\Updater", L"prog.dfu"), L"C:\\Updater\\prog.dfu");
    EXPECT_EQ(BesideExecutable(L"", L"Dunorfile.dfu"), L"\\Dunorfile.dfu");
}

}  // namespace
