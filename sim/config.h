// What a simulation file describes: the device, its alternate settings, timing and one fault.
// Every field starts at the value a file that leaves the key out gets.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sim/outcome.h"

namespace sim {

inline constexpr const char* kDefaultAltName = "@Velmarquist /0x08000000/04*016Kg,01*064Kg,07*128Kg";

struct DeviceConfig {
    bool present = true;
    uint32_t plug_after_ms = 0;
    uint16_t vendor_id = 0x1209;
    uint16_t product_id = 0x5A01;
    uint16_t bcd_device = 0x0200;
    uint16_t dfu_version = 0x011A;
    uint8_t attributes = 0x0B;
    uint16_t transfer_size = 2048;
    uint16_t detach_timeout = 255;  // wDetachTimeOut, ms
    std::string serial = "SIM0001";  // the serial number string
};

struct AltConfig {
    std::string name;   // the memory layout string, also the setting's string descriptor
    std::string store;  // relative to Config::folder; empty: altN.bin
};

struct TimingConfig {
    uint32_t erase_ms_per_sector = 20;
    uint32_t program_ms_per_block = 2;
};

enum class FaultPhase { Erase, Write };
enum class FaultAction { Status, Unplug, Corrupt, Stall };

struct FaultConfig {
    FaultPhase phase = FaultPhase::Write;
    uint8_t alt = 0;
    uint32_t at_percent = 50;
    FaultAction action = FaultAction::Status;
    uint8_t status = 3;   // with FaultAction::Status
    uint32_t total = 0;   // units of work of the phase (erases or blocks); 0: the device's own guess
};

struct Config {
    DeviceConfig device;
    std::vector<AltConfig> alts{AltConfig{kDefaultAltName, {}}};
    TimingConfig timing;
    std::optional<FaultConfig> fault;
    // Where stores live. Empty: memory only, no files (handy for tests of other parts).
    std::filesystem::path folder;
};

// Reads a simulation file. Stores are placed relative to the file's folder.
Outcome<Config> LoadConfig(const std::filesystem::path& path);

// The same from text; `origin` names the file in error messages.
Outcome<Config> ParseConfig(const std::string& text, const std::string& origin);

// A path as UTF-8 text for messages (never throws, whatever the characters).
std::string Display(const std::filesystem::path& path);

// Where the store of alternate setting `alt` lives, or empty when the config keeps memory only.
std::filesystem::path StorePath(const Config& config, size_t alt);

}  // namespace sim
