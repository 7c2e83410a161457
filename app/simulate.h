// The program on a simulated device (vqz_downloader.exe --simulate=FILE): the bus that FILE
// describes, the toolkit's transport to its device, and the interface source that detection and
// device notifications use.
#pragma once

#include "device/simulated_interfaces.h"
#include "sim/bus.h"

#include <memory>
#include <optional>
#include <string>
#include <variant>

class Simulation {
public:
    // The simulation the command line asks for; none without --simulate; the words saying why
    // when FILE cannot be read.
    using Request = std::variant<std::monostate, std::unique_ptr<Simulation>, std::wstring>;
    static Request FromCommandLine(const wchar_t* commandLine);

    // Ends the toolkit's use of the bus. The dialog whose window was registered must be gone.
    ~Simulation();
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    device::InterfaceSource& Interfaces() { return *m_interfaces; }

private:
    explicit Simulation(std::unique_ptr<sim::Bus> bus);

    std::unique_ptr<sim::Bus> m_bus;
    std::unique_ptr<device::SimulatedInterfaces> m_interfaces;
};
