// Control transfers to a simulated device, and the opener that finds devices on a simulated bus.
#pragma once

#include <memory>

#include "dfu/transport.h"
#include "sim/bus.h"
#include "sim/device.h"

namespace dfu {

class SimTransport : public Transport {
public:
    explicit SimTransport(std::shared_ptr<sim::Device> device) : device_(std::move(device)) {}

    Result<size_t> Control(const Setup& setup, std::span<uint8_t> data,
                           std::chrono::milliseconds timeout) override;
    // Sends the standard request: the simulated device keeps its alternate setting as a
    // device on a bus does.
    Status SelectAlternate(uint8_t interfaceNumber, uint8_t alternate) override;

private:
    std::shared_ptr<sim::Device> device_;
};

// Interface paths are listed and opened on this bus from now on; the bus must outlive that use
// (SetTransportOpener({}) and SetInterfaceLister({}) end it).
void UseSimulatedBus(sim::Bus& bus);

}  // namespace dfu
