// vqzdfu read --alt N --address A --length L -o FILE [--device SEL]: a device's memory into a
// file, a backup before flashing.
#include <optional>

#include "dfu/dfu_file.h"
#include "dfu/hex.h"
#include "dfu/read_memory.h"
#include "dfu/target.h"
#include "tools/commands.h"
#include "tools/devices.h"
#include "tools/numbers.h"
#include "tools/progress_display.h"
#include "tools/simulation.h"

namespace vqzdfu {

namespace {

struct Options {
    std::optional<uint8_t> alternate;
    std::optional<uint32_t> address, length;
    std::string out;
    std::optional<std::string> device;
    std::vector<std::string> simulate;
};

// The first byte of [address, address + length) that no readable sector holds, if any.
std::optional<uint64_t> Unreadable(const dfu::MemoryMap& map, uint32_t address, uint32_t length) {
    uint64_t at = address;
    const uint64_t end = uint64_t(address) + length;
    while (at < end) {
        const dfu::Sector* s = map.find(uint32_t(at));
        if (!s || !s->readable()) return at;
        at = s->end();
    }
    return std::nullopt;
}

}  // namespace

int Read(const std::vector<std::string>& args, Console& console) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        uint64_t number = 0;
        if (arg == "--alt" || arg == "--address" || arg == "--length") {
            const uint64_t max = arg == "--alt" ? 255 : 0xFFFFFFFF;
            if (!hasValue || !ParseNumber(args[i + 1], max, number))
                return UsageError(console, arg + " needs a number up to " + std::to_string(max));
            ++i;
            if (arg == "--alt") o.alternate = uint8_t(number);
            else if (arg == "--address") o.address = uint32_t(number);
            else o.length = uint32_t(number);
        } else if (arg == "-o") {
            if (!hasValue) return UsageError(console, "-o needs a file name");
            o.out = args[++i];
        } else if (arg == "--device") {
            if (!hasValue) return UsageError(console, "--device needs SEL");
            o.device = args[++i];
        } else if (!SimulateOption(arg, o.simulate)) {
            return UsageError(console, "read: unknown argument '" + arg + "'");
        }
    }
    if (!o.alternate || !o.address || !o.length || o.out.empty())
        return UsageError(console, "read needs --alt N, --address A, --length L and -o FILE");
    if (*o.length == 0) return UsageError(console, "--length must be at least 1");
    if (uint64_t(*o.address) + *o.length > 0x100000000ull)
        return UsageError(console, "the range runs past the end of the 32-bit address space");

    return WithSimulation(o.simulate, console, [&] {
        auto chosen = ChooseDevices(o.device, false);
        if (!chosen) {
            console.Err("vqzdfu: " + chosen.error().message() + "\n");
            return kExitUsage;
        }
        const Found& device = chosen->front();
        const std::string what = device.path + ": ";
        auto transport = dfu::OpenTransport(device.path);
        if (!transport) {
            console.Err("vqzdfu: " + what + transport.error().message() + "\n");
            return kExitFailed;
        }
        auto targets = dfu::ReadTargets(**transport);
        if (!targets) {
            console.Err("vqzdfu: " + what + "cannot read the memory maps: " +
                        targets.error().message() + "\n");
            return kExitFailed;
        }
        const dfu::Target* target = nullptr;
        for (const dfu::Target& t : *targets)
            if (t.alternate == *o.alternate) target = &t;
        std::string refusal;
        if (!target)
            refusal = "the device has no alternate setting " + std::to_string(*o.alternate);
        else if (auto bad = Unreadable(target->map, *o.address, *o.length))
            refusal = dfu::HexAddress(*bad) + " is not readable memory of alternate setting " +
                      std::to_string(*o.alternate);
        else if (device.info && !device.info->functional.canUpload())
            refusal = "the device does not allow reading (upload)";
        if (!refusal.empty()) {
            console.Err("vqzdfu: " + what + refusal + "\n");
            return kExitUsage;
        }

        ProgressDisplay display(console, false, {device.path});
        display.Begin(0, "read", *o.alternate, *o.length);
        auto memory = dfu::ReadMemory(**transport, *o.alternate, *o.address, *o.length,
                                      [&](size_t done) {
                                          display.Update(0, uint8_t(uint64_t(done) * 100 / *o.length));
                                          return true;
                                      });
        display.End(0, memory.ok());
        if (!memory) {
            console.Err("vqzdfu: " + what + "read of alt " + std::to_string(*o.alternate) +
                        " failed: " + memory.error().message() + "\n");
            return kExitFailed;
        }
        if (auto written = dfu::WriteFileBytes(o.out, *memory); !written) {
            console.Err("vqzdfu: " + written.error().message() + "\n");
            return kExitFailed;
        }
        console.Out(device.path + ": " + std::to_string(memory->size()) + " bytes of alt " +
                    std::to_string(*o.alternate) + " from " + dfu::HexAddress(*o.address) + " written to " +
                    o.out + "\n");
        return 0;
    });
}

}  // namespace vqzdfu
