// Reading a device's memory: what the store holds comes back, across the 16-bit block limit too,
// and a device that cannot give it says why.
#include "dfu/read_memory.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "dfu/tests/sim_rig.h"

namespace dfu {
namespace {

namespace fs = std::filesystem;

class ReadMemoryTest : public ::testing::Test {
protected:
    // A device whose one region (2 MiB at 0x08000000) holds `memory_` from its store.
    void Use(uint16_t transferSize, uint8_t attributes = 0x0B) {
        folder_ = fs::temp_directory_path() /
                  (std::string("vqz-read-memory-") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
        memory_.resize(2u << 20);
        for (size_t i = 0; i < memory_.size(); ++i) memory_[i] = uint8_t(i * 13 + (i >> 11));
        std::ofstream(folder_ / "alt0.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(memory_.data()), std::streamsize(memory_.size()));
        sim::Config config;
        config.folder = folder_;
        config.device.transfer_size = transferSize;
        config.device.attributes = attributes;
        config.alts = {{"@Velmarquist /0x08000000/02*01Mg", "alt0.bin"}};
        rig_ = std::make_unique<testing::SimRig>(config);
    }
    void TearDown() override {
        rig_.reset();
        fs::remove_all(folder_);
    }

    Result<std::vector<uint8_t>> Read(uint32_t address, uint32_t length,
                                      const std::function<bool(size_t)>& onRead = {}) {
        auto transport = OpenTransport(rig_->path);
        EXPECT_TRUE(transport.ok());
        return ReadMemory(**transport, 0, address, length, onRead);
    }

    std::vector<uint8_t> Expected(uint32_t offset, uint32_t length) const {
        return {memory_.begin() + offset, memory_.begin() + offset + length};
    }

    fs::path folder_;
    std::vector<uint8_t> memory_;
    std::unique_ptr<testing::SimRig> rig_;
};

TEST_F(ReadMemoryTest, ReadsWhatTheStoreHoldsAcrossSectorsAndAPartialLastBlock) {
    Use(2048);
    size_t lastHeard = 0;
    auto got = Read(0x08000000 + 0xFFF00, 5000, [&](size_t n) {
        EXPECT_GT(n, lastHeard);
        lastHeard = n;
        return true;
    });
    ASSERT_TRUE(got.ok()) << got.error().message();
    EXPECT_EQ(*got, Expected(0xFFF00, 5000));
    EXPECT_EQ(lastHeard, 5000u);
}

TEST_F(ReadMemoryTest, SetsThePointerAgainPastTheLastBlockNumber) {
    // 16-byte blocks: 0xFFFD of them end a little short of 1 MiB.
    Use(16);
    const uint32_t length = 0xFFFD * 16 + 40;
    auto got = Read(0x08000010, length);
    ASSERT_TRUE(got.ok()) << got.error().message();
    EXPECT_TRUE(*got == Expected(0x10, length)) << "the bytes past block 0xFFFE differ";
}

TEST_F(ReadMemoryTest, SaysWhyItCannotRead) {
    struct Case {
        const char* what;
        uint8_t attributes;
        uint32_t address, length;
        bool stop;
        const char* words;
    };
    const Case cases[] = {
        {"no upload", 0x09, 0x08000000, 100, false, "does not allow reading"},
        {"past the memory", 0x0B, 0x081FFF00, 0x200, false, "sent 256 of 512 bytes at 0x081FFF00"},
        {"stopped", 0x0B, 0x08000000, 0x10000, true, "stopped"},
    };
    for (const Case& c : cases) {
        Use(2048, c.attributes);
        auto got = Read(c.address, c.length, [&](size_t) { return !c.stop; });
        ASSERT_FALSE(got.ok()) << c.what;
        EXPECT_NE(got.error().message().find(c.words), std::string::npos)
            << c.what << ": " << got.error().message();
        TearDown();
    }
}

}  // namespace
}  // namespace dfu
