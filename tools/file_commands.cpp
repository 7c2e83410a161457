// vqzdfu pack and info: DFU files made from binaries, and checked.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "dfu/dfu_file.h"
#include "tools/commands.h"
#include "tools/numbers.h"
#include "tools/printable.h"

namespace vqzdfu {

namespace {

constexpr int kExitRefused = 1;

// "ALT[:NAME]"
bool ParseTargetHead(const std::string& text, dfu::Image& image) {
    size_t colon = text.find(':');
    uint64_t alternate = 0;
    if (!ParseNumber(std::string_view(text).substr(0, colon), 255, alternate)) return false;
    image.alternate = uint8_t(alternate);
    if (colon != std::string::npos) image.name = text.substr(colon + 1);
    return true;
}

struct ElementSource {
    uint32_t address;
    std::string path;
};

// "ADDR:FILE[,ADDR:FILE...]"
bool ParseElements(const std::string& text, std::vector<ElementSource>& out) {
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
        size_t colon = item.find(':');
        uint64_t address = 0;
        if (colon == std::string::npos || colon + 1 == item.size() ||
            !ParseNumber(std::string_view(item).substr(0, colon), 0xFFFFFFFF, address))
            return false;
        out.push_back({uint32_t(address), item.substr(colon + 1)});
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

}  // namespace

int Pack(const std::vector<std::string>& args) {
    dfu::DfuFile file;
    file.vendorId = 0x1209;
    file.productId = 0x5A01;
    file.bcdDevice = 0x0200;
    std::string out;
    std::vector<std::vector<ElementSource>> sources;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](size_t n) { return i + n < args.size(); };
        if (arg == "-o") {
            if (!value(1)) return UsageError(Console::Standard(), "-o needs a file name");
            out = args[++i];
        } else if (arg == "--vid" || arg == "--pid" || arg == "--bcd") {
            uint64_t id = 0;
            if (!value(1) || !ParseNumber(args[i + 1], 0xFFFF, id))
                return UsageError(Console::Standard(), arg + " needs a 16-bit number");
            ++i;
            uint16_t& field = arg == "--vid"   ? file.vendorId
                              : arg == "--pid" ? file.productId
                                               : file.bcdDevice;
            field = uint16_t(id);
        } else if (arg == "--target") {
            if (!value(2)) return UsageError(Console::Standard(), "--target needs ALT[:NAME] and ADDR:FILE[,ADDR:FILE...]");
            dfu::Image image;
            if (!ParseTargetHead(args[i + 1], image))
                return UsageError(Console::Standard(), "bad target '" + args[i + 1] + "': expected ALT[:NAME], ALT 0..255");
            std::vector<ElementSource> elements;
            if (!ParseElements(args[i + 2], elements))
                return UsageError(Console::Standard(), "bad elements '" + args[i + 2] +
                             "': expected ADDR:FILE[,ADDR:FILE...]");
            file.images.push_back(std::move(image));
            sources.push_back(std::move(elements));
            i += 2;
        } else {
            return UsageError(Console::Standard(), "unknown argument '" + arg + "'");
        }
    }
    if (out.empty()) return UsageError(Console::Standard(), "pack needs -o OUT");
    if (file.images.empty()) return UsageError(Console::Standard(), "pack needs at least one --target");
    if (file.images.size() > 255) return UsageError(Console::Standard(), "a DFU file holds at most 255 targets");

    for (size_t t = 0; t < sources.size(); ++t) {
        for (const ElementSource& source : sources[t]) {
            auto bytes = dfu::ReadFileBytes(source.path);
            if (!bytes) {
                std::fprintf(stderr, "vqzdfu: %s\n", bytes.error().message().c_str());
                return kExitRefused;
            }
            file.images[t].elements.push_back({source.address, std::move(*bytes)});
        }
    }
    auto bytes = dfu::SerializeDfuFile(file);
    if (!bytes) {
        std::fprintf(stderr, "vqzdfu: %s\n", bytes.error().message().c_str());
        return kExitRefused;
    }
    if (auto written = dfu::WriteFileBytes(out, *bytes); !written) {
        std::fprintf(stderr, "vqzdfu: %s\n", written.error().message().c_str());
        return kExitRefused;
    }
    return 0;
}

int Info(const std::vector<std::string>& args) {
    if (args.size() != 1) return UsageError(Console::Standard(), "info needs exactly one FILE");
    auto file = dfu::ReadDfuFile(args[0]);
    if (!file) {
        std::fprintf(stderr, "vqzdfu: refused: %s\n", file.error().message().c_str());
        return kExitRefused;
    }
    std::printf("vendor 0x%04X, product 0x%04X, device 0x%04X, %zu target(s)\n", file->vendorId,
                file->productId, file->bcdDevice, file->images.size());
    for (size_t t = 0; t < file->images.size(); ++t) {
        const dfu::Image& image = file->images[t];
        std::string name = image.name.empty() ? "(unnamed)" : "\"" + Printable(image.name) + "\"";
        std::printf("target %zu: alternate %u, name %s, %zu element(s), %" PRIu64 " bytes\n", t,
                    unsigned(image.alternate), name.c_str(), image.elements.size(), image.size());
        for (size_t e = 0; e < image.elements.size(); ++e)
            std::printf("  element %zu: address 0x%08X, %zu bytes\n", e,
                        unsigned(image.elements[e].address), image.elements[e].data.size());
    }
    return 0;
}

}  // namespace vqzdfu
