// The DFU 1.1 vocabulary (requests, states, statuses), declared once with a name for each value,
// and the class requests on one DFU interface.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "dfu/result.h"
#include "dfu/transport.h"

namespace dfu {

// Class-specific requests (USB DFU 1.1, section 3).
enum class Request : uint8_t {
    Detach = 0,
    Dnload = 1,
    Upload = 2,
    GetStatus = 3,
    ClrStatus = 4,
    GetState = 5,
    Abort = 6,
};
inline constexpr int kRequestCount = 7;

// Device states (USB DFU 1.1, section 6.1.2).
enum class State : uint8_t {
    AppIdle = 0,
    AppDetach = 1,
    DfuIdle = 2,
    DfuDnloadSync = 3,
    DfuDnbusy = 4,
    DfuDnloadIdle = 5,
    DfuManifestSync = 6,
    DfuManifest = 7,
    DfuManifestWaitReset = 8,
    DfuUploadIdle = 9,
    DfuError = 10,
};
inline constexpr int kStateCount = 11;

// Status codes of GETSTATUS (USB DFU 1.1, section 6.1.2).
enum class StatusCode : uint8_t {
    Ok = 0,
    ErrTarget = 1,
    ErrFile = 2,
    ErrWrite = 3,
    ErrErase = 4,
    ErrCheckErased = 5,
    ErrProg = 6,
    ErrVerify = 7,
    ErrAddress = 8,
    ErrNotDone = 9,
    ErrFirmware = 10,
    ErrVendor = 11,
    ErrUsbr = 12,
    ErrPor = 13,
    ErrUnknown = 14,
    ErrStalledPkt = 15,
};
inline constexpr int kStatusCodeCount = 16;

// "DNLOAD", "dfuDNBUSY", "errVERIFY"; values outside the class specification give "unknown".
std::string_view RequestName(Request request);
std::string_view StateName(State state);
std::string_view StatusCodeName(StatusCode status);

// The 6-byte GETSTATUS record. Fields keep the device's raw values, known or not.
struct StatusRecord {
    uint8_t status = 0;
    uint32_t pollTimeoutMs = 0;  // 24 bits on the wire
    uint8_t state = 0;
    uint8_t iString = 0;

    std::array<uint8_t, 6> bytes() const;
    static StatusRecord FromBytes(std::span<const uint8_t, 6> bytes);
    bool ok() const {
        return status == uint8_t(StatusCode::Ok) && state != uint8_t(State::DfuError);
    }
};

// "errWRITE in dfuERROR": the device's status in words.
std::string Describe(const StatusRecord& record);

// Every request gets this long: enough for a device that answers only after a long erase.
inline constexpr std::chrono::milliseconds kRequestTimeout{10000};
// Overall bound of one wait for a busy device.
inline constexpr std::chrono::milliseconds kBusyBound{60000};

// Sleeps until the deadline; false when the wait was cancelled.
using SleepUntil = std::function<bool(std::chrono::steady_clock::time_point)>;

// The class requests on one DFU interface of one device.
class Dfu {
public:
    Dfu(Transport& transport, uint16_t interfaceNumber)
        : transport_(transport), interface_(interfaceNumber) {}

    // Told before each request, and of each status record the device returns.
    std::function<void(Request, uint16_t block, size_t length)> onRequest;
    std::function<void(const StatusRecord&)> onStatus;

    Status Dnload(uint16_t block, std::span<const uint8_t> data);
    // Returns how many bytes came; fewer than asked ends the upload.
    Result<size_t> Upload(uint16_t block, std::span<uint8_t> data);
    Result<StatusRecord> GetStatus();
    Status ClrStatus();
    Status Abort();

    // After a download: GETSTATUS until the device is no longer busy, waiting exactly the
    // bwPollTimeout it asks for each time. A device error status is an error of kind DeviceStatus.
    Result<StatusRecord> WaitWhileBusy(const SleepUntil& sleep);

    // Brings the device to dfuIDLE (CLRSTATUS from dfuERROR, ABORT from the other DFU states,
    // after waiting out a command the device is still busy with).
    Result<StatusRecord> ToIdle(const SleepUntil& sleep);

private:
    Result<size_t> Control(uint8_t requestType, Request request, uint16_t value,
                           std::span<uint8_t> data);

    Transport& transport_;
    uint16_t interface_;
};

// The error for a device that reports an error status.
Error DeviceError(const StatusRecord& record);

}  // namespace dfu
