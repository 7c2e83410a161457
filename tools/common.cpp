#include "tools/commands.h"

namespace vqzdfu {

int UsageError(Console& console, const std::string& message) {
    console.Err("vqzdfu: " + message + "\nTry 'vqzdfu --help'.\n");
    return kExitUsage;
}

bool SimulateOption(const std::string& arg, std::vector<std::string>& files) {
    constexpr std::string_view kOption = "--simulate=";
    if (!arg.starts_with(kOption)) return false;
    files.push_back(arg.substr(kOption.size()));
    return true;
}

}  // namespace vqzdfu
