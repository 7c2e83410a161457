// vqzdfu: makes DFU files from binaries and checks them; lists, flashes and reads DFU devices.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "dfu/dfu_file.h"
#include "tools/commands.h"
#include "tools/numbers.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

using vqzdfu::ParseNumber;

constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

constexpr const char* kHelp =
    "usage:\n"
    "  vqzdfu pack -o OUT [--vid ID] [--pid ID] [--bcd ID] --target ALT[:NAME] ELEMENTS\n"
    "              [--target ALT[:NAME] ELEMENTS ...]\n"
    "  vqzdfu info FILE\n"
    "  vqzdfu list [--json]\n"
    "  vqzdfu flash FILE... [--device SEL | --all] [--alt N] [--no-verify] [--json]\n"
    "  vqzdfu read --alt N --address A --length L -o FILE [--device SEL]\n"
    "  vqzdfu --help\n"
    "\n"
    "pack   writes the DFU file OUT: one target per --target, in the order given (the first is\n"
    "       the file's first image). ALT is the alternate setting (0..255), NAME the optional\n"
    "       target name. ELEMENTS is ADDR:FILE[,ADDR:FILE...]: each binary FILE becomes one\n"
    "       element placed at ADDR (an empty file gives an empty element).\n"
    "       --vid, --pid, --bcd set idVendor, idProduct and bcdDevice of the suffix\n"
    "       (defaults 0x1209, 0x5A01, 0x0200).\n"
    "info   prints the suffix's IDs, each target (alternate setting, name, elements, bytes) and\n"
    "       each element (address, bytes), or why the file is refused.\n"
    "list   prints every DFU interface present: path, VID:PID, bcdDevice, serial, DFU version,\n"
    "       attributes, transfer size and each alternate setting with its name; --json: one\n"
    "       JSON object per device and line.\n"
    "flash  writes every target of every FILE to the alternate setting it names (--alt N: all\n"
    "       to N): the touched sectors erased, the data written, read back and compared\n"
    "       (unless --no-verify, or the device cannot upload). Every image is checked against\n"
    "       the device's memory before anything is erased. The device: SEL (a path as list\n"
    "       prints it, VID:PID, or serial=S), every one present (--all, flashed at the same\n"
    "       time), or else the only one present. Progress on standard error; one result line\n"
    "       per device on standard output. --json: progress and results as JSON lines on\n"
    "       standard output (device, phase, alt, percent, bytes; device, result, message).\n"
    "read   reads L bytes from address A of alternate setting N into FILE.\n"
    "\n"
    "list, flash and read take --simulate=FILE, once per simulated device: the devices of\n"
    "those simulation files instead of the ones attached.\n"
    "Numbers are decimal or 0x-prefixed hexadecimal.\n"
    "Exit status of pack and info: 0 done, 1 a file is refused or cannot be read or written,\n"
    "2 usage error. Of list, flash and read: 0 done; 1 a device failed (or could not be\n"
    "read); 2 usage error, no device or several, a refused file, or work outside the\n"
    "device's memory (found before anything is erased).\n";

int Usage(const std::string& message) {
    std::fprintf(stderr, "vqzdfu: %s\nTry 'vqzdfu --help'.\n", message.c_str());
    return kExitUsage;
}

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
            if (!value(1)) return Usage("-o needs a file name");
            out = args[++i];
        } else if (arg == "--vid" || arg == "--pid" || arg == "--bcd") {
            uint64_t id = 0;
            if (!value(1) || !ParseNumber(args[i + 1], 0xFFFF, id))
                return Usage(arg + " needs a 16-bit number");
            ++i;
            uint16_t& field = arg == "--vid"   ? file.vendorId
                              : arg == "--pid" ? file.productId
                                               : file.bcdDevice;
            field = uint16_t(id);
        } else if (arg == "--target") {
            if (!value(2)) return Usage("--target needs ALT[:NAME] and ADDR:FILE[,ADDR:FILE...]");
            dfu::Image image;
            if (!ParseTargetHead(args[i + 1], image))
                return Usage("bad target '" + args[i + 1] + "': expected ALT[:NAME], ALT 0..255");
            std::vector<ElementSource> elements;
            if (!ParseElements(args[i + 2], elements))
                return Usage("bad elements '" + args[i + 2] +
                             "': expected ADDR:FILE[,ADDR:FILE...]");
            file.images.push_back(std::move(image));
            sources.push_back(std::move(elements));
            i += 2;
        } else {
            return Usage("unknown argument '" + arg + "'");
        }
    }
    if (out.empty()) return Usage("pack needs -o OUT");
    if (file.images.empty()) return Usage("pack needs at least one --target");
    if (file.images.size() > 255) return Usage("a DFU file holds at most 255 targets");

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

// A target name as the terminal should show it: control characters escaped (C0 and DEL as \xHH,
// the UTF-8 forms of C1 as \uHHHH), and the backslash and the quote, so a name from the file
// cannot drive the terminal and reads back unambiguously.
std::string Printable(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        char escaped[8];
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", next);
            out += escaped;
            ++i;
        } else {
            if (c == '\\' || c == '"') out += '\\';
            out += char(c);
        }
    }
    return out;
}

int Info(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage("info needs exactly one FILE");
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

int Run(const std::vector<std::string>& args) {
    if (args.empty()) return Usage("a command is needed: pack, info, list, flash or read");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "pack") return Pack(rest);
    if (args[0] == "info") return Info(rest);
    if (args[0] == "list") return vqzdfu::List(rest, vqzdfu::Console::Standard());
    if (args[0] == "flash") return vqzdfu::Flash(rest, vqzdfu::Console::Standard());
    if (args[0] == "read") return vqzdfu::Read(rest, vqzdfu::Console::Standard());
    return Usage("unknown command '" + args[0] + "'");
}

// The arguments as UTF-8, whatever the system's code page.
std::vector<std::string> Arguments(int argc, char** argv) {
    std::vector<std::string> args;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide && i < count; ++i) {
        int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(size_t(n > 0 ? n : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
        arg.resize(arg.size() - 1);
        args.push_back(std::move(arg));
    }
    LocalFree(wide);
#else
    args.assign(argv + 1, argv + argc);
#endif
    return args;
}

}  // namespace

int main(int argc, char** argv) { return Run(Arguments(argc, argv)); }
