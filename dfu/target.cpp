#include "dfu/target.h"

#include <string>

#include "dfu/device.h"

namespace dfu {

Result<std::vector<Target>> ReadTargets(Transport& transport) {
    auto iface = ReadDfuInterface(transport);
    if (!iface) return iface.error();
    std::vector<Target> targets;
    for (const AlternateSetting& alt : iface->alternates) {
        const std::string what = "alternate setting " + std::to_string(alt.alternate);
        auto layout = ReadString(transport, alt.iInterface);
        if (!layout) return layout.error().context(what);
        auto map = ParseMemoryLayout(*layout);
        if (!map) return map.error().context(what);
        targets.push_back({alt.alternate, std::move(*map)});
    }
    return targets;
}

}  // namespace dfu
