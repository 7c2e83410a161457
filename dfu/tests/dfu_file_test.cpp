#include "dfu/dfu_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

namespace dfu {
namespace {

std::vector<uint8_t> Bytes(size_t n, uint8_t first) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(first + i);
    return v;
}

// Two targets: a named one with two elements, an unnamed one with one.
DfuFile SampleFile() {
    DfuFile file;
    file.vendorId = 0x1209;
    file.productId = 0x5A01;
    file.bcdDevice = 0x0200;
    file.images.push_back(
        {0, "Program Memory", {{0x08000000, Bytes(16, 1)}, {0x08004000, Bytes(8, 50)}}});
    file.images.push_back({1, "", {{0x1FFF7800, Bytes(4, 99)}}});
    return file;
}

std::vector<uint8_t> SampleBytes() {
    auto bytes = SerializeDfuFile(SampleFile());
    EXPECT_TRUE(bytes.ok());
    return *bytes;
}

void ExpectSame(const DfuFile& a, const DfuFile& b) {
    EXPECT_EQ(a.vendorId, b.vendorId);
    EXPECT_EQ(a.productId, b.productId);
    EXPECT_EQ(a.bcdDevice, b.bcdDevice);
    ASSERT_EQ(a.images.size(), b.images.size());
    for (size_t t = 0; t < a.images.size(); ++t) {
        SCOPED_TRACE("target " + std::to_string(t));
        EXPECT_EQ(a.images[t].alternate, b.images[t].alternate);
        EXPECT_EQ(a.images[t].name, b.images[t].name);
        ASSERT_EQ(a.images[t].elements.size(), b.images[t].elements.size());
        for (size_t e = 0; e < a.images[t].elements.size(); ++e) {
            EXPECT_EQ(a.images[t].elements[e].address, b.images[t].elements[e].address);
            EXPECT_EQ(a.images[t].elements[e].data, b.images[t].elements[e].data);
        }
    }
}

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// The CRC as the format defines it, computed here independently of the writer.
void FixCrc(std::vector<uint8_t>& b) {
    uint32_t crc = uint32_t(crc32(0, b.data(), uInt(b.size() - 4))) ^ 0xFFFFFFFFu;
    Put32(b, b.size() - 4, crc);
}

// Offsets in the sample file.
constexpr size_t kImageSize = 6, kTargetCount = 10;
constexpr size_t kTarget0 = 11, kTarget0Size = kTarget0 + 266, kTarget0Count = kTarget0 + 270;
constexpr size_t kElement0 = kTarget0 + 274;
constexpr size_t kTarget1 = kElement0 + 8 + 16 + 8 + 8;
constexpr size_t kTarget1Element0Size = kTarget1 + 274 + 4;

TEST(DfuFile, RoundTripsWhatItWrites) {
    auto bytes = SampleBytes();
    EXPECT_EQ(bytes.size(), 11 + 274 + 8 + 16 + 8 + 8 + 274 + 8 + 4 + 16u);
    auto file = ParseDfuFile(bytes);
    ASSERT_TRUE(file.ok()) << file.error().message();
    ExpectSame(*file, SampleFile());
}

TEST(DfuFile, WritesTheSuffixAndCrcOfTheFormat) {
    auto bytes = SampleBytes();
    const size_t s = bytes.size() - 16;
    EXPECT_EQ(
        std::vector<uint8_t>(bytes.begin() + long(s), bytes.begin() + long(s) + 12),
        (std::vector<uint8_t>{0x00, 0x02, 0x01, 0x5A, 0x09, 0x12, 0x1A, 0x01, 'U', 'F', 'D', 16}));
    auto fixed = bytes;
    FixCrc(fixed);
    EXPECT_EQ(fixed, bytes);
    EXPECT_EQ(Get32(bytes, kImageSize), bytes.size() - 16);
    EXPECT_EQ(bytes[kTargetCount], 2);
}

TEST(DfuFile, TheFirstTargetIsImageZero) {
    DfuFile many;
    for (uint8_t alt : {3, 0, 7})
        many.images.push_back({alt, "", {{0x100u * alt, Bytes(alt, alt)}}});
    auto bytes = SerializeDfuFile(many);
    ASSERT_TRUE(bytes.ok());
    auto file = ParseDfuFile(*bytes);
    ASSERT_TRUE(file.ok()) << file.error().message();
    ASSERT_EQ(file->images.size(), 3u);
    EXPECT_EQ(file->images[0].alternate, 3);
    EXPECT_EQ(file->images[1].alternate, 0);
    EXPECT_EQ(file->images[2].alternate, 7);
    ExpectSame(*file, many);
}

TEST(DfuFile, KeepsEdgeShapes) {
    DfuFile edge;
    edge.images.push_back({0, std::string(255, 'n'), {}});                     // no terminator
    edge.images.push_back({1, "x", {{0, {}}, {0xFFFFFFFF, Bytes(1, 7)}}});  // empty element
    auto bytes = SerializeDfuFile(edge);
    ASSERT_TRUE(bytes.ok());
    auto file = ParseDfuFile(*bytes);
    ASSERT_TRUE(file.ok()) << file.error().message();
    ExpectSame(*file, edge);
}

TEST(DfuFile, WriterRefusesWhatTheFormatCannotHold) {
    DfuFile none;
    EXPECT_FALSE(SerializeDfuFile(none).ok());
    DfuFile longName;
    longName.images.push_back({0, std::string(256, 'n'), {}});
    EXPECT_FALSE(SerializeDfuFile(longName).ok());
    DfuFile tooMany;
    tooMany.images.resize(256);
    EXPECT_FALSE(SerializeDfuFile(tooMany).ok());
}

struct Refusal {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> mutate;
    const char* why;  // a part of the error message
    bool fixCrc = true;
};

std::string Utf8(const std::filesystem::path& p) {
    auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

TEST(DfuFile, RefusesBrokenFiles) {
    const Refusal cases[] = {
        {"prefix signature", [](auto& b) { b[4] = 'X'; }, "bad prefix signature"},
        {"target signature", [](auto& b) { b[kTarget1] = 't'; }, "target 1: bad target signature"},
        {"suffix signature", [](auto& b) { b[b.size() - 7] = 'X'; }, "bad suffix signature"},
        {"suffix length", [](auto& b) { b[b.size() - 5] = 15; }, "suffix length is 15"},
        {"CRC", [](auto& b) { b[b.size() - 1] ^= 1; }, "CRC does not match", false},
        {"a data byte under the CRC", [](auto& b) { b[kElement0 + 8] ^= 0x80; },
         "CRC does not match", false},
        {"shorter than prefix and suffix", [](auto& b) { b.resize(26); },
         "26 bytes, shorter than its prefix and suffix"},
        {"image size past the end", [](auto& b) { Put32(b, kImageSize, Get32(b, kImageSize) + 1); },
         "image size runs past the end"},
        {"image size short of the targets",
         [](auto& b) { Put32(b, kImageSize, Get32(b, kImageSize) - 1); },
         "image size (610) disagrees"},
        {"no targets", [](auto& b) { b[kTargetCount] = 0; }, "no targets"},
        {"more targets counted than present", [](auto& b) { b[kTargetCount] = 3; },
         "target 2: target prefix runs past the end"},
        {"fewer targets counted than present", [](auto& b) { b[kTargetCount] = 1; },
         "disagrees with its targets"},
        {"target size past the end", [](auto& b) { Put32(b, kTarget0Size, 0xFFFFFFF0); },
         "target 0: target size runs past the end"},
        {"target size short of its elements",
         [](auto& b) { Put32(b, kTarget0Size, Get32(b, kTarget0Size) - 1); },
         "target 0: element 1: element size runs past the end of its target"},
        {"target size beyond its elements", [](auto& b) { Put32(b, kTarget0Count, 1); },
         "target 0: target size disagrees with its elements"},
        {"element count far beyond the bytes", [](auto& b) { Put32(b, kTarget0Count, 0xFFFFFFFF); },
         "target 0: element 2: element header runs past the end of its target"},
        {"element size past the end of the file",
         [](auto& b) { Put32(b, kTarget1Element0Size, 0x7FFFFFFF); },
         "target 1: element 0: element size runs past the end of the file"},
        {"element sizes short of their target",
         [](auto& b) { Put32(b, kElement0 + 8 + 16 + 4, 7); },
         "target 0: target size disagrees with its elements (40 bytes declared, 39 used)"},
        {"empty file", [](auto& b) { b.clear(); }, "0 bytes", false},
    };
    // The same verdicts from the bytes in memory and from the file read where it lies.
    const std::string path =
        Utf8(std::filesystem::temp_directory_path() /
             ("vqz-broken-" + std::to_string(std::random_device()()) + ".dfu"));
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = SampleBytes();
        c.mutate(bytes);
        if (c.fixCrc && bytes.size() >= 4) FixCrc(bytes);
        auto file = ParseDfuFile(bytes);
        ASSERT_FALSE(file.ok());
        EXPECT_NE(file.error().message().find(c.why), std::string::npos) << file.error().message();
        ASSERT_TRUE(WriteFileBytes(path, bytes).ok());
        auto read = ReadDfuFile(path);
        ASSERT_FALSE(read.ok());
        EXPECT_EQ(read.error().message(), path + ": " + file.error().message());
    }
    std::filesystem::remove(path);
}

TEST(DfuFile, ReadsFromAFolderWithAnyName) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() /
                         (fs::path(u8"vqz прошивка ü ") += std::to_string(std::random_device()()));
    fs::create_directories(dir);
    const std::string path = Utf8(dir / "prog.dfu");

    auto bytes = SampleBytes();
    ASSERT_TRUE(WriteFileBytes(path, bytes).ok());
    auto file = ReadDfuFile(path);
    ASSERT_TRUE(file.ok()) << file.error().message();
    ExpectSame(*file, SampleFile());

    bytes[0] = 'X';
    FixCrc(bytes);
    ASSERT_TRUE(WriteFileBytes(path, bytes).ok());
    auto refused = ReadDfuFile(path);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message(), path + ": bad prefix signature");

    fs::remove_all(dir);
    auto missing = ReadDfuFile(path);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().message().rfind(path + ": cannot open", 0), 0u)
        << missing.error().message();
}

TEST(DfuFile, AFileLargerThanTheFormatCanHoldIsRefusedByItsSizeUnread) {
    namespace fs = std::filesystem;
    const fs::path sparse =
        fs::temp_directory_path() / ("vqz-huge-" + std::to_string(std::random_device()()) + ".dfu");
    // 4 GiB + 17 bytes, one more than the largest file the prefix's 32-bit size allows; holes only.
    std::ofstream(sparse, std::ios::binary).close();
    fs::resize_file(sparse, 0x100000011ull);
    auto refused = ReadDfuFile(Utf8(sparse));
    fs::remove(sparse);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message(),
              Utf8(sparse) + ": the file is 4294967313 bytes, larger than a DFU file can be "
                             "(4294967311)");
}

}  // namespace
}  // namespace dfu
