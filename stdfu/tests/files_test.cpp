#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "dfu/dfu_file.h"
#include "stdfu/stdfu.h"

namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& p) {
    auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

// A folder of DFU files made by the toolkit's writer; every handle given out is checked to be
// released by the end of each test.
class FileCalls : public ::testing::Test {
protected:
    void SetUp() override {
        liveAtStart_ = STDFU_LiveHandleCount();
        // A folder of each test's own: tests run in parallel.
        dir_ = fs::temp_directory_path() /
               (fs::path(u8"vqz-файлы-") +=
                ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                std::to_string(std::random_device()()));
        fs::create_directories(dir_);

        dfu::DfuFile file;
        file.vendorId = 0x1209;
        file.productId = 0x5A01;
        file.bcdDevice = 0x0200;
        // 0x300 bytes at 0x08000000 and 0x10 outside the map.
        file.images.push_back({2, "Flash", {{0x08000000, std::vector<uint8_t>(0x300, 0xA5)},
                                            {0x20000000, std::vector<uint8_t>(0x10, 1)}}});
        file.images.push_back({1, "", {{0x1FFF0000, {1, 2, 3}}}});
        good_ = Write("prog.dfu", *dfu::SerializeDfuFile(file));
        std::vector<uint8_t> broken = *dfu::SerializeDfuFile(file);
        broken[0] = 'X';
        broken_ = Write("broken.dfu", broken);
    }

    void TearDown() override {
        fs::remove_all(dir_);
        EXPECT_EQ(STDFU_LiveHandleCount(), liveAtStart_);
    }

    std::string Write(const char* name, const std::vector<uint8_t>& bytes) {
        std::string path = Utf8(dir_ / name);
        EXPECT_TRUE(dfu::WriteFileBytes(path, bytes).ok());
        return path;
    }

    uint32_t FirstImage() {
        uint32_t file = 0, image = 0;
        EXPECT_EQ(STDFUFILES_OpenExistingDFUFile(good_.c_str(), &file, nullptr, nullptr, nullptr,
                                                 nullptr),
                  STDFU_OK);
        EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(file, 0, &image), STDFU_OK);
        EXPECT_EQ(STDFUFILES_CloseDFUFile(file), STDFU_OK);
        return image;
    }

    fs::path dir_;
    std::string good_, broken_;
    uint32_t liveAtStart_ = 0;
};

TEST_F(FileCalls, OpensAFileAndReadsItsImages) {
    uint32_t file = 0;
    uint16_t vid = 0, pid = 0, bcd = 0;
    uint8_t count = 0;
    ASSERT_EQ(STDFUFILES_OpenExistingDFUFile(good_.c_str(), &file, &vid, &pid, &bcd, &count),
              STDFU_OK);
    EXPECT_NE(file, 0u);
    EXPECT_EQ(vid, 0x1209);
    EXPECT_EQ(pid, 0x5A01);
    EXPECT_EQ(bcd, 0x0200);
    EXPECT_EQ(count, 2);

    uint32_t first = 0, second = 0, none = 7;
    ASSERT_EQ(STDFUFILES_ReadImageFromDFUFile(file, 0, &first), STDFU_OK);
    ASSERT_EQ(STDFUFILES_ReadImageFromDFUFile(file, 1, &second), STDFU_OK);
    EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(file, 2, &none), STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(none, 0u);
    EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(file, -1, &none), STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_CloseDFUFile(file), STDFU_OK);
    EXPECT_EQ(STDFUFILES_CloseDFUFile(file), STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(file, 0, &none), STDFU_ERR_BAD_PARAMETER);

    // Images outlive their file.
    uint8_t alternate = 0;
    EXPECT_EQ(STDFUFILES_GetImageAlternate(first, &alternate), STDFU_OK);
    EXPECT_EQ(alternate, 2);
    EXPECT_EQ(STDFUFILES_GetImageAlternate(second, &alternate), STDFU_OK);
    EXPECT_EQ(alternate, 1);
    EXPECT_EQ(STDFUFILES_GetImageSize(first), 0x310u);
    EXPECT_EQ(STDFUFILES_GetImageSize(second), 3u);

    EXPECT_EQ(STDFUFILES_DestroyImage(&first), STDFU_OK);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(STDFUFILES_DestroyImage(&second), STDFU_OK);
}

TEST_F(FileCalls, RefusesMissingAndBrokenFilesAndNullArguments) {
    const std::string missing = Utf8(dir_ / "missing.dfu");
    for (const std::string& path : {missing, broken_}) {
        uint32_t file = 5;
        EXPECT_NE(
            STDFUFILES_OpenExistingDFUFile(path.c_str(), &file, nullptr, nullptr, nullptr, nullptr),
            STDFU_OK)
            << path;
        EXPECT_EQ(file, 0u);
    }
    uint32_t file = 0;
    EXPECT_EQ(STDFUFILES_OpenExistingDFUFile(nullptr, &file, nullptr, nullptr, nullptr, nullptr),
              STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(
        STDFUFILES_OpenExistingDFUFile(good_.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr),
        STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(0, 0, nullptr), STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_GetImageAlternate(0, nullptr), STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_DuplicateImage(0, nullptr), STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_DestroyImage(nullptr), STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_CloseDFUFile(0), STDFU_ERR_BAD_PARAMETER);
}

TEST_F(FileCalls, FiltersIndependentCopies) {
    StdfuSector sectors[] = {
        {0x08000000, 0x100, 7}, {0x08000100, 0x100, 7}, {0x08000200, 0x100, 7}};
    StdfuMapping entry{0, "Flash", 3, sectors};
    uint32_t image = FirstImage();

    uint32_t write = 0, erase = 0;
    ASSERT_EQ(STDFUFILES_DuplicateImage(image, &write), STDFU_OK);
    ASSERT_EQ(STDFUFILES_DuplicateImage(image, &erase), STDFU_OK);
    EXPECT_NE(write, erase);
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(write, &entry, STDFU_OP_UPGRADE, 0), STDFU_OK);
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(erase, &entry, STDFU_OP_ERASE, 0), STDFU_OK);
    EXPECT_EQ(STDFUFILES_GetImageSize(write), 0x300u);  // the bytes outside the map dropped
    EXPECT_EQ(STDFUFILES_GetImageSize(erase), 0u);
    EXPECT_EQ(STDFUFILES_GetImageSize(image), 0x310u);  // the source untouched

    // The source gone, the copies stay.
    EXPECT_EQ(STDFUFILES_DestroyImage(&image), STDFU_OK);
    EXPECT_EQ(STDFUFILES_GetImageSize(write), 0x300u);
    uint8_t alternate = 0;
    EXPECT_EQ(STDFUFILES_GetImageAlternate(erase, &alternate), STDFU_OK);
    EXPECT_EQ(alternate, 2);

    EXPECT_EQ(STDFUFILES_FilterImageForOperation(write, nullptr, STDFU_OP_UPGRADE, 0),
              STDFU_ERR_BAD_PARAMETER);
    for (uint32_t operation : {0u, 1u, 2u, 5u, 0xFFFFFFFFu})
        EXPECT_EQ(STDFUFILES_FilterImageForOperation(write, &entry, operation, 0),
                  STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(image, &entry, STDFU_OP_UPGRADE, 0),
              STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_GetImageSize(write), 0x300u);

    EXPECT_EQ(STDFUFILES_DestroyImage(&write), STDFU_OK);
    EXPECT_EQ(STDFUFILES_DestroyImage(&erase), STDFU_OK);
}

TEST_F(FileCalls, FiltersAgainstTheSectorsOfTheEntry) {
    // Bytes stay where the entry's sectors are writable; an entry without its sector array keeps
    // none, whatever its count says.
    StdfuSector sectors[] = {{0x08000000, 0x100, STDFU_SECTOR_READABLE | STDFU_SECTOR_WRITABLE},
                             {0x08000100, 0x100, STDFU_SECTOR_READABLE | STDFU_SECTOR_ERASABLE}};
    const StdfuMapping entries[] = {{0, "Flash", 2, sectors}, {0, "", 5, nullptr}};
    const uint32_t kept[] = {0x100, 0};
    for (size_t i = 0; i < std::size(entries); ++i) {
        uint32_t image = FirstImage();
        EXPECT_EQ(STDFUFILES_FilterImageForOperation(image, &entries[i], STDFU_OP_UPGRADE, 0),
                  STDFU_OK);
        EXPECT_EQ(STDFUFILES_GetImageSize(image), kept[i]) << i;
        EXPECT_EQ(STDFUFILES_DestroyImage(&image), STDFU_OK);
    }
}

TEST_F(FileCalls, DeadHandlesAreHarmless) {
    uint32_t image = FirstImage();
    uint32_t copy = image;
    EXPECT_EQ(STDFUFILES_DestroyImage(&image), STDFU_OK);
    EXPECT_EQ(STDFUFILES_DestroyImage(&copy), STDFU_OK);  // a second copy of the same handle
    EXPECT_EQ(copy, 0u);
    uint32_t zero = 0;
    EXPECT_EQ(STDFUFILES_DestroyImage(&zero), STDFU_OK);

    uint32_t dead = 1234567, dest = 9;
    uint8_t alternate = 0;
    EXPECT_EQ(STDFUFILES_GetImageSize(dead), 0u);
    EXPECT_EQ(STDFUFILES_GetImageAlternate(dead, &alternate), STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_DuplicateImage(dead, &dest), STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(dest, 0u);
}

}  // namespace
