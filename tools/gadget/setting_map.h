// Which alternate setting a 1.1a command is meant for. FunctionFS does not tell the gadget which
// setting the host selected, so the gadget follows the setting whose memory holds the address of a
// set-address or erase command; that needs settings whose regions never overlap.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/config.h"
#include "sim/device.h"
#include "sim/outcome.h"

namespace gadget {

class SettingMap {
public:
    // Refuses a file whose settings' regions overlap, naming both settings.
    static sim::Outcome<SettingMap> FromConfig(const sim::Config& config);

    std::optional<size_t> SettingAt(uint32_t address) const;

private:
    struct Range {
        uint64_t begin, end;
        size_t setting;
    };
    std::vector<Range> ranges_;
};

// The address of a set-address or erase command (DNLOAD block 0: 0x21 or 0x41 and four bytes,
// little-endian); nothing for any other request.
std::optional<uint32_t> CommandAddress(const sim::Setup& setup, std::span<const uint8_t> data);

}  // namespace gadget
