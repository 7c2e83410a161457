#include "tools/gadget/setting_map.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "sim/dfu_codes.h"
#include "sim/layout.h"

namespace gadget {

namespace {

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

sim::Outcome<SettingMap> SettingMap::FromConfig(const sim::Config& config) {
    SettingMap map;
    for (size_t alt = 0; alt < config.alts.size(); ++alt) {
        sim::Outcome<sim::Layout> layout = sim::ParseLayout(config.alts[alt].name);
        if (!layout) continue;  // a setting without memory: no command can be meant for it
        for (const sim::Region& region : layout->regions) {
            Range range{region.address, uint64_t{region.address} + region.size, alt};
            for (const Range& other : map.ranges_) {
                if (range.begin < other.end && other.begin < range.end && range.setting != other.setting)
                    return sim::Failure{"the memory of alternate settings " + std::to_string(other.setting) +
                                        " and " + std::to_string(alt) + " overlap at " +
                                        Hex(std::max(range.begin, other.begin)) +
                                        ": on a real bus the device picks the setting by address"};
            }
            map.ranges_.push_back(range);
        }
    }
    return map;
}

std::optional<size_t> SettingMap::SettingAt(uint32_t address) const {
    for (const Range& range : ranges_)
        if (address >= range.begin && address < range.end) return range.setting;
    return std::nullopt;
}

std::optional<uint32_t> CommandAddress(const sim::Setup& setup, std::span<const uint8_t> data) {
    constexpr uint8_t kClassInterfaceOut = 0x21;
    if (setup.bmRequestType != kClassInterfaceOut || setup.bRequest != static_cast<uint8_t>(sim::Request::Dnload) ||
        setup.wValue != 0 || data.size() != 5)
        return std::nullopt;
    if (data[0] != sim::kCommandSetAddress && data[0] != sim::kCommandErase) return std::nullopt;
    return uint32_t{data[1]} | uint32_t{data[2]} << 8 | uint32_t{data[3]} << 16 | uint32_t{data[4]} << 24;
}

}  // namespace gadget
