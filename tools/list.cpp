// vqzdfu list [--json]: every DFU interface present and what it says of itself.
#include <cstdio>

#include "tools/commands.h"
#include "tools/devices.h"
#include "tools/json.h"
#include "tools/printable.h"
#include "tools/simulation.h"

namespace vqzdfu {

namespace {

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// The attribute bits of the DFU functional descriptor (USB DFU 1.1, section 4.1.3) in words.
std::string AttributeWords(uint8_t attributes) {
    static constexpr const char* kBits[] = {"download", "upload", "manifestation-tolerant",
                                            "will-detach"};
    std::string words;
    for (int bit = 0; bit < 4; ++bit)
        if (attributes & (1 << bit)) words += std::string(words.empty() ? "" : ", ") + kBits[bit];
    return words.empty() ? "none" : words;
}

std::string Quoted(const std::string& text) {
    return "\"" + Printable(text) + "\"";
}

std::string Human(const Found& f) {
    std::string text = f.path + "\n";
    if (!f.info) return text + "  cannot read the device: " + f.info.error().message() + "\n";
    const DeviceInfo& d = *f.info;
    text += "  " + IdText(d.descriptor) + ", bcdDevice " + Hex(d.descriptor.bcdDevice(), 4) +
            ", serial " + (d.serial.empty() ? "(none)" : Quoted(d.serial)) + "\n";
    text += "  DFU version " + Hex(d.functional.bcdDFUVersion, 4) + ", attributes " +
            Hex(d.functional.bmAttributes, 2) + " (" + AttributeWords(d.functional.bmAttributes) +
            "), transfer size " + std::to_string(d.functional.wTransferSize) + "\n";
    for (const AlternateInfo& a : d.alternates)
        text += "  alt " + std::to_string(a.alternate) + ": " + Quoted(a.name) + "\n";
    return text;
}

std::string Json(const Found& f) {
    JsonObject o;
    o.Add("path", f.path);
    if (!f.info) return o.Add("error", f.info.error().message()).Line();
    const DeviceInfo& d = *f.info;
    std::string alternates = "[";
    for (const AlternateInfo& a : d.alternates)
        alternates += (alternates.size() > 1 ? "," : "") +
                      JsonObject().Add("alt", uint64_t(a.alternate)).Add("name", a.name).Text();
    alternates += "]";
    return o.Add("id", IdText(d.descriptor))
        .Add("vendor", uint64_t(d.descriptor.idVendor()))
        .Add("product", uint64_t(d.descriptor.idProduct()))
        .Add("bcdDevice", uint64_t(d.descriptor.bcdDevice()))
        .Add("serial", d.serial)
        .Add("dfuVersion", uint64_t(d.functional.bcdDFUVersion))
        .Add("attributes", uint64_t(d.functional.bmAttributes))
        .Add("transferSize", uint64_t(d.functional.wTransferSize))
        .AddRaw("alternates", alternates)
        .Line();
}

}  // namespace

int List(const std::vector<std::string>& args, Console& console) {
    bool json = false;
    std::vector<std::string> simulate;
    for (const std::string& arg : args) {
        if (arg == "--json") json = true;
        else if (!SimulateOption(arg, simulate)) return UsageError(console, "list: unknown argument '" + arg + "'");
    }
    return WithSimulation(simulate, console, [&] {
        auto found = FindDevices();
        if (!found) {
            console.Err("vqzdfu: " + found.error().message() + "\n");
            return kExitFailed;
        }
        if (found->empty() && !json) console.Err("vqzdfu: no DFU device present\n");
        int status = 0;
        for (const Found& f : *found) {
            console.Out(json ? Json(f) : Human(f));
            if (!f.info) status = kExitFailed;
        }
        return status;
    });
}

}  // namespace vqzdfu
