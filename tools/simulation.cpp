#include "tools/simulation.h"

#include <filesystem>

#include "dfu/transport_sim.h"
#include "tools/commands.h"
#include "tools/console.h"
#include "sim/config.h"

namespace vqzdfu {

dfu::Result<std::unique_ptr<Simulation>> Simulation::FromFiles(
    const std::vector<std::string>& files) {
    std::unique_ptr<Simulation> simulation(new Simulation);
    for (const std::string& file : files) {
        const std::string what = "cannot simulate a device with \"" + file + "\"";
        if (file.empty()) return dfu::Error(what + ": no file named");
        auto config = sim::LoadConfig(std::filesystem::path(std::u8string(file.begin(), file.end())));
        if (!config) return dfu::Error(what + ": " + config.error());
        auto device = simulation->bus_.AddFromConfig(*config);
        if (!device) return dfu::Error(what + ": " + device.error());
        simulation->files_.push_back(file);
        simulation->devices_.push_back(*device);
    }
    dfu::UseSimulatedBus(simulation->bus_);
    return simulation;
}

std::vector<std::string> Simulation::UnstruckFaults() const {
    std::vector<std::string> lines;
    for (size_t i = 0; i < devices_.size(); ++i)
        if (const auto unstruck = devices_[i]->UnstruckFault())
            lines.push_back(files_[i] + ": " + *unstruck);
    return lines;
}

Simulation::~Simulation() {
    dfu::SetTransportOpener({});
    dfu::SetInterfaceLister({});
}

}  // namespace vqzdfu

namespace vqzdfu {

int WithSimulation(const std::vector<std::string>& files, Console& console,
                   const std::function<int()>& work) {
    if (files.empty()) return work();
    auto simulation = Simulation::FromFiles(files);
    if (!simulation) return UsageError(console, simulation.error().message());
    const int status = work();
    for (const std::string& line : (*simulation)->UnstruckFaults())
        console.Err("vqzdfu: " + line + "\n");
    return status;
}

}  // namespace vqzdfu
