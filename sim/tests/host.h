// The requests a DFU host makes, spelled out over Device::Control, for the tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sim/config.h"
#include "sim/device.h"

namespace sim::test {

struct StatusRecord {
    TransferStatus transfer;
    Status status;
    uint32_t poll_ms;
    State state;
};

class Host {
public:
    explicit Host(std::shared_ptr<Device> device) : device_(std::move(device)) {}

    TransferStatus Dnload(uint16_t block, std::vector<uint8_t> bytes);
    TransferResult Upload(uint16_t block, std::span<uint8_t> out);
    StatusRecord GetStatus();
    State GetState();
    TransferStatus ClrStatus();
    TransferStatus Abort();
    TransferStatus Detach();
    TransferStatus SetInterface(uint16_t alt);
    std::vector<uint8_t> Descriptor(uint8_t type, uint8_t index, uint16_t length = 255);

    // A command or block followed by the GETSTATUS that runs it and the one that finds it done
    // (once the busy time has passed); returns the last record.
    StatusRecord Run(uint16_t block, std::vector<uint8_t> bytes);
    StatusRecord SetAddress(uint32_t address);
    StatusRecord Erase(uint32_t address);
    StatusRecord EraseAll();
    // Writes bytes from `address` in blocks of the transfer size; stops at the first error.
    StatusRecord Write(uint32_t address, const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> Read(uint32_t address, size_t length);

    Device& device() { return *device_; }

private:
    std::shared_ptr<Device> device_;
};

std::vector<uint8_t> Le32(uint8_t command, uint32_t address);
std::vector<uint8_t> Pattern(size_t length, uint8_t seed);

// A configuration with no busy time, kept in memory unless a folder is given.
Config QuickConfig(std::filesystem::path folder = {});

// A fresh, empty folder for store files, removed by the destructor.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace sim::test
