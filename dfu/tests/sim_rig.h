// A simulated device plugged into a bus whose paths the toolkit opens, and a transport that notes
// every request with its timing: the fixture of the engine and boundary tests.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dfu/transport_sim.h"
#include "sim/bus.h"
#include "sim/config.h"
#include "sim/device.h"

namespace dfu::testing {

// 4 x 16 KiB + 1 x 64 KiB, all readable, erasable and writable; short busy times.
inline sim::Config SmallDevice() {
    sim::Config config;
    config.alts = {{"@Velmarquist /0x08000000/04*016Kg,01*064Kg", {}}};
    config.timing.erase_ms_per_sector = 3;
    config.timing.program_ms_per_block = 1;
    return config;
}

class SimRig {
public:
    explicit SimRig(const sim::Config& config) {
        auto created = sim::Device::Create(config);
        EXPECT_TRUE(bool(created)) << created.error();
        device = *created;
        path = bus.Add(device);
        bus.Plug(device);
        UseSimulatedBus(bus);
    }
    ~SimRig() { SetTransportOpener({}); }

    sim::Bus bus;
    std::shared_ptr<sim::Device> device;
    std::string path;
};

struct Recorded {
    Setup setup;
    std::vector<uint8_t> sent;    // host-to-device data
    std::vector<uint8_t> answer;  // device-to-host data
    std::chrono::steady_clock::time_point asked, answered;
    bool ok = false;
};

class RequestLog {
public:
    void Add(Recorded r) {
        std::lock_guard lock(mutex_);
        entries_.push_back(std::move(r));
    }
    std::vector<Recorded> entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Recorded> entries_;
};

// Passes requests on and notes them in a log that outlives it.
class RecordingTransport : public Transport {
public:
    RecordingTransport(std::unique_ptr<Transport> inner, std::shared_ptr<RequestLog> log)
        : inner_(std::move(inner)), log_(std::move(log)) {}

    Result<size_t> Control(const Setup& setup, std::span<uint8_t> data,
                           std::chrono::milliseconds timeout) override {
        Recorded r{setup};
        const bool in = setup.bmRequestType & 0x80;
        if (!in) r.sent.assign(data.begin(), data.begin() + setup.wLength);
        r.asked = std::chrono::steady_clock::now();
        auto result = inner_->Control(setup, data, timeout);
        r.answered = std::chrono::steady_clock::now();
        r.ok = result.ok();
        if (in && result.ok()) r.answer.assign(data.begin(), data.begin() + *result);
        log_->Add(std::move(r));
        return result;
    }
    Status SelectAlternate(uint8_t interfaceNumber, uint8_t alternate) override {
        return inner_->SelectAlternate(interfaceNumber, alternate);
    }

private:
    std::unique_ptr<Transport> inner_;
    std::shared_ptr<RequestLog> log_;
};

}  // namespace dfu::testing
