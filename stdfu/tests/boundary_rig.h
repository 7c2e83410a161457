// Boundary tests: a simulated device on the bus, images made in memory, and the update as the
// dialog runs it (duplicate, filter, erase phase to 100, write phase to 100, stop, destroy).
#pragma once

#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "dfu/tests/sim_rig.h"
#include "stdfu/images.h"
#include "stdfu/stdfu.h"

namespace stdfu::testing {

using namespace std::chrono_literals;

inline std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 13 + (i >> 9));
    return bytes;
}

inline uint32_t AddImage(dfu::Image image) {
    return Images().Add(std::make_shared<dfu::Image>(std::move(image)));
}

// The context the dialog fills for a launch.
inline StdfuOperationContext LaunchContext(const std::string& path, uint32_t hImage) {
    StdfuOperationContext c{};
    c.dfuInterfaceGuid = {
        0x3FE809AB, 0xFB91, 0x4CB5, {0xA6, 0x43, 0x69, 0x67, 0x0D, 0x52, 0x36, 0x6E}};
    c.appGuid = {0xCB979912, 0x5029, 0x420A, {0xAE, 0xB1, 0x34, 0xFC, 0x0A, 0x7D, 0x57, 0x26}};
    c.operation = STDFU_OP_ERASE;
    c.hImage = hImage;
    std::strncpy(c.szDevLink, path.c_str(), sizeof c.szDevLink - 1);
    return c;
}

// Polls every few milliseconds until percent reads 100 or an error shows.
inline StdfuOperationContext PollToEnd(
    uint32_t id, const std::function<void(const StdfuOperationContext&)>& atHundred = {}) {
    StdfuOperationContext c{};
    const auto bound = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < bound) {
        EXPECT_EQ(STDFUPRT_GetOperationStatus(id, &c), STDFU_OK);
        if (c.errorCode != STDFU_OK) break;
        if (c.percent == 100) {
            if (atHundred) atHundred(c);
            break;
        }
        std::this_thread::sleep_for(2ms);
    }
    return c;
}

// A copy of the image prepared for one phase on one mapping entry, as the dialog makes it.
inline uint32_t FilteredCopy(uint32_t hImage, const StdfuMapping& entry, int32_t operation) {
    uint32_t copy = 0;
    STDFUFILES_DuplicateImage(hImage, &copy);
    STDFUFILES_FilterImageForOperation(copy, &entry, uint32_t(operation), 0);
    return copy;
}

// One image through both phases as the dialog does it; returns the last context it read: the
// failed phase's, or the write phase's at its end.
inline StdfuOperationContext UpdateImage(
    const std::string& path, const StdfuMapping& entry, uint32_t hImage,
    const std::function<void(const StdfuOperationContext&)>& atWriteEnd = {}) {
    uint32_t work = FilteredCopy(hImage, entry, STDFU_OP_UPGRADE);
    uint32_t eraseCopy = FilteredCopy(hImage, entry, STDFU_OP_ERASE);

    StdfuOperationContext c = LaunchContext(path, eraseCopy);
    uint32_t id = 0;
    uint32_t launched = STDFUPRT_LaunchOperation(&c, &id);
    if (launched != STDFU_OK) {
        STDFUFILES_DestroyImage(&eraseCopy);
        STDFUFILES_DestroyImage(&work);
        c.errorCode = launched;
        return c;
    }
    StdfuOperationContext polled = PollToEnd(id);
    STDFUPRT_StopOperation(id, &c);
    STDFUFILES_DestroyImage(&eraseCopy);
    if (polled.errorCode != STDFU_OK || polled.percent != 100) {
        STDFUFILES_DestroyImage(&work);
        return c;
    }
    c.operation = STDFU_OP_UPGRADE;
    c.hImage = work;
    launched = STDFUPRT_LaunchOperation(&c, &id);
    if (launched != STDFU_OK) {
        STDFUFILES_DestroyImage(&work);
        c.errorCode = launched;
        return c;
    }
    PollToEnd(id, atWriteEnd);
    STDFUPRT_StopOperation(id, &c);
    STDFUFILES_DestroyImage(&work);
    return c;
}

// Every test leaves the handle count where it found it.
class BoundaryTest : public ::testing::Test {
protected:
    void SetUp() override { baseline_ = STDFU_LiveHandleCount(); }
    void TearDown() override {
        rig_.reset();
        EXPECT_EQ(STDFU_LiveHandleCount(), baseline_) << "handles left alive";
    }

    void Use(const sim::Config& config) {
        rig_.reset();  // its end clears the opener
        rig_ = std::make_unique<dfu::testing::SimRig>(config);
    }
    // The path as the dialog hands it over: upper case.
    std::string Path() const {
        std::string p = rig_->path;
        for (char& ch : p) ch = char(std::toupper(static_cast<unsigned char>(ch)));
        return p;
    }

    std::unique_ptr<dfu::testing::SimRig> rig_;
    uint32_t baseline_ = 0;
};

}  // namespace stdfu::testing
