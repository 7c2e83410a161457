#include "tools/gadget/functionfs_descriptors.h"

#include <linux/usb/functionfs.h>

#include <string>

#include "sim/descriptors.h"

namespace gadget {

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, static_cast<uint16_t>(value));
    Put16(out, static_cast<uint16_t>(value >> 16));
}

void Set32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The interface descriptors and the functional descriptor, as they follow the configuration
// descriptor the simulated device itself answers with: one source for both.
std::vector<uint8_t> FunctionDescriptors(const sim::Config& config, uint32_t& count) {
    std::vector<uint8_t> all = sim::ConfigurationDescriptor(config);
    std::vector<uint8_t> out(all.begin() + all[0], all.end());
    count = 0;
    for (size_t at = 0; at < out.size(); at += out[at]) {
        ++count;
        // iInterface: FunctionFS counts the function's own strings from 1.
        if (out[at + 1] == 4) out[at + 8] = static_cast<uint8_t>(1 + out[at + 3]);
    }
    return out;
}

}  // namespace

std::vector<uint8_t> FunctionFsDescriptors(const sim::Config& config) {
    uint32_t count = 0;
    std::vector<uint8_t> body = FunctionDescriptors(config, count);
    std::vector<uint8_t> out;
    Put32(out, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    Put32(out, 0);  // length, set below
    Put32(out, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    Put32(out, count);
    Put32(out, count);
    out.insert(out.end(), body.begin(), body.end());
    out.insert(out.end(), body.begin(), body.end());
    Set32(out, 4, static_cast<uint32_t>(out.size()));
    return out;
}

std::vector<uint8_t> FunctionFsStrings(const sim::Config& config) {
    std::vector<uint8_t> out;
    Put32(out, FUNCTIONFS_STRINGS_MAGIC);
    Put32(out, 0);  // length, set below
    Put32(out, static_cast<uint32_t>(config.alts.size()));
    Put32(out, 1);
    Put16(out, 0x0409);
    for (const sim::AltConfig& alt : config.alts) {
        out.insert(out.end(), alt.name.begin(), alt.name.end());
        out.push_back(0);
    }
    Set32(out, 4, static_cast<uint32_t>(out.size()));
    return out;
}

}  // namespace gadget
