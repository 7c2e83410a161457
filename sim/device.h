// The simulated DFU device: descriptors, the DFU 1.1 state machine with the 1.1a commands, a flash
// model per alternate setting, modelled busy time, and the fault of its configuration.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "sim/config.h"
#include "sim/dfu_codes.h"
#include "sim/layout.h"
#include "sim/outcome.h"

namespace sim {

class Flash;

struct Setup {
    uint8_t bmRequestType, bRequest;
    uint16_t wValue, wIndex, wLength;
};

enum class TransferStatus { Ok, Stall, Gone, Timeout };  // Gone: the device was unplugged

struct TransferResult {
    TransferStatus status;
    size_t length;
};

// What the device has done so far, for benchmarks and tests.
struct Activity {
    uint32_t erases = 0;                 // sectors erased (a mass erase counts each)
    uint32_t blocks = 0;                 // data blocks programmed
    std::chrono::milliseconds erase_busy{0};    // busy time handed out for erases
    std::chrono::milliseconds program_busy{0};  // busy time handed out for data blocks
};

class Device {
public:
    // Opens (or creates, erased) the stores. A layout string that does not parse still makes a
    // device: it has no memory, as a device with broken firmware would.
    static Outcome<std::shared_ptr<Device>> Create(const Config& config);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // One USB control transfer. Device-to-host (bmRequestType bit 7): writes at most
    // wLength bytes into data. Host-to-device: reads wLength bytes from data. Thread-safe.
    TransferResult Control(const Setup& setup, std::span<uint8_t> data);

    // The memory of alternate setting `alt` at [address, address + length); empty when any of it
    // lies outside the setting's sectors.
    std::vector<uint8_t> ReadMemory(size_t alt, uint32_t address, size_t length) const;

    Activity GetActivity() const;

    // When the configured fault is armed but has not struck: one line naming it and how far its
    // phase got on its setting, so that a tester learns the fault was never tried. None otherwise.
    std::optional<std::string> UnstruckFault() const;
    const Config& config() const { return config_; }
    bool attached() const;
    // Called by a bus or a gadget on a real bus. Attaching starts the device afresh in dfuIDLE on
    // setting 0.
    void SetAttached(bool attached);

private:
    friend class Bus;
    explicit Device(Config config);

    // How the unplug fault leaves the bus; called without the device's lock held.
    void SetUnplugHandler(std::function<void()> handler);

    struct Pending;
    TransferResult Standard(const Setup& setup, std::span<uint8_t> data);
    TransferResult ClassRequest(const Setup& setup, std::span<uint8_t> data, bool& unplug);
    TransferResult Dnload(const Setup& setup, std::span<const uint8_t> data, bool& unplug);
    TransferResult Upload(const Setup& setup, std::span<uint8_t> data);
    TransferResult GetStatus(std::span<uint8_t> data);
    TransferResult Invalid();
    void Execute(std::chrono::steady_clock::time_point now);
    void NoteErased(const Sector& sector);
    void ResetState();
    bool CountFaultUnits(FaultPhase phase, uint32_t units);

    const Config config_;
    std::vector<std::unique_ptr<Flash>> flashes_;
    mutable std::mutex mutex_;
    std::function<void()> unplug_handler_;
    bool attached_ = true;  // until a bus takes it: a device alone is wired to its host

    // DFU state.
    size_t alt_ = 0;
    State state_ = State::DfuIdle;
    Status status_ = Status::Ok;
    uint32_t pointer_ = 0;
    std::unique_ptr<Pending> pending_;  // a command or block waiting for its GETSTATUS
    bool manifested_ = false;
    std::chrono::steady_clock::time_point busy_until_{};
    Activity activity_;

    // Fault bookkeeping: units of the faulty phase done on the faulty setting, and whether the
    // fault has struck (it strikes once per run).
    uint32_t fault_units_ = 0;
    uint64_t fault_total_ = 0;  // the phase's whole work, fixed at its first unit
    uint32_t fault_strike_unit_ = 0;
    bool fault_struck_ = false;
    std::set<uint32_t> erased_sectors_;  // on the faulty setting, this run
    uint64_t erased_bytes_ = 0;
};

}  // namespace sim
