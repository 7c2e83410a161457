#include "app/simulate.h"

#include "dfu/transport.h"
#include "dfu/transport_sim.h"
#include "sim/config.h"

#include <shellapi.h>

#include <filesystem>
#include <string_view>

namespace {

constexpr std::wstring_view kOption = L"--simulate=";

// UTF-8 text (the simulator's words, which quote the file) as wide text; never fails.
std::wstring Utf8ToWide(const std::string& utf8) {
    const int length = static_cast<int>(utf8.size());
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), size);
    return wide;
}

// The FILE of --simulate=FILE, or none when the option is not given.
std::optional<std::wstring> SimulationFile(const wchar_t* commandLine) {
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(commandLine, &count);
    if (!arguments) return std::nullopt;
    std::optional<std::wstring> file;
    for (int i = 1; i < count; ++i) {
        const std::wstring_view argument = arguments[i];
        if (argument.starts_with(kOption)) file = std::wstring(argument.substr(kOption.size()));
    }
    ::LocalFree(arguments);
    return file;
}

}  // namespace

Simulation::Request Simulation::FromCommandLine(const wchar_t* commandLine) {
    const std::optional<std::wstring> file = SimulationFile(commandLine);
    if (!file) return std::monostate{};
    const std::wstring what = L"Cannot simulate a device with \"" + *file + L"\": ";
    if (file->empty()) return what + L"no file named.";

    auto config = sim::LoadConfig(std::filesystem::path(*file));
    if (!config) return what + Utf8ToWide(config.error());
    auto bus = sim::Bus::FromConfig(*config);
    if (!bus) return what + Utf8ToWide(bus.error());
    return std::unique_ptr<Simulation>(new Simulation(std::move(*bus)));
}

Simulation::Simulation(std::unique_ptr<sim::Bus> bus)
    : m_bus(std::move(bus)), m_interfaces(std::make_unique<device::SimulatedInterfaces>(*m_bus)) {
    dfu::UseSimulatedBus(*m_bus);
}

Simulation::~Simulation() {
    dfu::SetTransportOpener({});
    dfu::SetInterfaceLister({});
    // A fault the run never reached would otherwise pass for one that was tried.
    for (const std::shared_ptr<sim::Device>& device : m_bus->Devices()) {
        if (const std::optional<std::string> unstruck = device->UnstruckFault())
            ::OutputDebugStringA((*unstruck + "\n").c_str());
    }
}
