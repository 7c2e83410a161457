// vqzdfu: makes DFU files from binaries and checks them; lists, flashes and reads DFU devices.
// The commands live in files of their own; this is their help and dispatch.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/commands.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

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
    return vqzdfu::UsageError(vqzdfu::Console::Standard(), message);
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) return Usage("a command is needed: pack, info, list, flash or read");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "pack") return vqzdfu::Pack(rest);
    if (args[0] == "info") return vqzdfu::Info(rest);
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
