// The simulated devices of a command's --simulate=FILE options: one device per file, all on one
// bus, which the toolkit lists and opens for as long as this lives.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dfu/result.h"
#include "sim/bus.h"

namespace vqzdfu {

class Console;

class Simulation {
public:
    static dfu::Result<std::unique_ptr<Simulation>> FromFiles(const std::vector<std::string>& files);
    // Ends the toolkit's use of the bus.
    ~Simulation();
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    // "FILE: fault (...) never struck: ..." for each device whose armed fault the run never
    // reached: a fault not tried would otherwise pass for one that was.
    std::vector<std::string> UnstruckFaults() const;

private:
    Simulation() = default;
    sim::Bus bus_;
    std::vector<std::string> files_;
    std::vector<std::shared_ptr<sim::Device>> devices_;
};

// Runs a command's work with the devices of its --simulate files installed (when there are
// any), then says which of their faults never struck. A file that cannot be simulated is bad
// usage.
int WithSimulation(const std::vector<std::string>& files, Console& console,
                   const std::function<int()>& work);

}  // namespace vqzdfu
