#include "dfu/transport_sim.h"

#include "dfu/protocol.h"

namespace dfu {

Result<size_t> SimTransport::Control(const Setup& setup, std::span<uint8_t> data,
                                     std::chrono::milliseconds) {
    // The simulated device answers at once: the timeout never comes into play.
    if (data.size() < setup.wLength) return Error("transfer buffer shorter than wLength");
    const sim::Setup s{setup.bmRequestType, setup.bRequest, setup.wValue, setup.wIndex,
                       setup.wLength};
    const sim::TransferResult result = device_->Control(s, data.first(setup.wLength));
    switch (result.status) {
        case sim::TransferStatus::Ok: return result.length;
        case sim::TransferStatus::Stall:
            return Error("device stalled the request", ErrorKind::Stall);
        case sim::TransferStatus::Gone: return Error("device is gone", ErrorKind::Gone);
        case sim::TransferStatus::Timeout:
            return Error("device did not answer in time", ErrorKind::Timeout);
    }
    return Error("unknown transfer status");
}

Status SimTransport::SelectAlternate(uint8_t interfaceNumber, uint8_t alternate) {
    constexpr uint8_t kStandardOutInterface = 0x01;
    constexpr uint8_t kSetInterface = 11;
    auto done = Control({kStandardOutInterface, kSetInterface, alternate, interfaceNumber, 0}, {},
                        kRequestTimeout);
    if (!done) return done.error();
    return {};
}

void UseSimulatedBus(sim::Bus& bus) {
    SetTransportOpener([&bus](const std::string& path) -> Result<std::unique_ptr<Transport>> {
        auto device = bus.Find(path);
        if (!device) return Error("no device at " + path);
        return std::unique_ptr<Transport>(std::make_unique<SimTransport>(std::move(device)));
    });
    SetInterfaceLister([&bus]() -> Result<std::vector<std::string>> {
        return bus.Paths(sim::kDfuClassGuid);
    });
}

}  // namespace dfu
