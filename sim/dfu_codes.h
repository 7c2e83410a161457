// The DFU 1.1 vocabulary the simulated device speaks: requests, states and statuses.
#pragma once

#include <cstdint>

namespace sim {

enum class Request : uint8_t {
    Detach = 0,
    Dnload = 1,
    Upload = 2,
    GetStatus = 3,
    ClrStatus = 4,
    GetState = 5,
    Abort = 6,
};

enum class State : uint8_t {
    AppIdle = 0,
    AppDetach = 1,
    DfuIdle = 2,
    DnloadSync = 3,
    DnBusy = 4,
    DnloadIdle = 5,
    ManifestSync = 6,
    Manifest = 7,
    ManifestWaitReset = 8,
    UploadIdle = 9,
    DfuError = 10,
};

enum class Status : uint8_t {
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

// bmAttributes of the DFU functional descriptor.
inline constexpr uint8_t kCanDownload = 0x01;
inline constexpr uint8_t kCanUpload = 0x02;
inline constexpr uint8_t kManifestationTolerant = 0x04;

// The 1.1a commands carried by download block 0.
inline constexpr uint8_t kCommandSetAddress = 0x21;
inline constexpr uint8_t kCommandErase = 0x41;

}  // namespace sim
