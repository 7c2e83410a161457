#include "dfu/protocol.h"

namespace dfu {

std::string_view RequestName(Request request) {
    switch (request) {
        case Request::Detach: return "DETACH";
        case Request::Dnload: return "DNLOAD";
        case Request::Upload: return "UPLOAD";
        case Request::GetStatus: return "GETSTATUS";
        case Request::ClrStatus: return "CLRSTATUS";
        case Request::GetState: return "GETSTATE";
        case Request::Abort: return "ABORT";
    }
    return "unknown";
}

std::string_view StateName(State state) {
    switch (state) {
        case State::AppIdle: return "appIDLE";
        case State::AppDetach: return "appDETACH";
        case State::DfuIdle: return "dfuIDLE";
        case State::DfuDnloadSync: return "dfuDNLOAD-SYNC";
        case State::DfuDnbusy: return "dfuDNBUSY";
        case State::DfuDnloadIdle: return "dfuDNLOAD-IDLE";
        case State::DfuManifestSync: return "dfuMANIFEST-SYNC";
        case State::DfuManifest: return "dfuMANIFEST";
        case State::DfuManifestWaitReset: return "dfuMANIFEST-WAIT-RESET";
        case State::DfuUploadIdle: return "dfuUPLOAD-IDLE";
        case State::DfuError: return "dfuERROR";
    }
    return "unknown";
}

std::string_view StatusCodeName(StatusCode status) {
    switch (status) {
        case StatusCode::Ok: return "OK";
        case StatusCode::ErrTarget: return "errTARGET";
        case StatusCode::ErrFile: return "errFILE";
        case StatusCode::ErrWrite: return "errWRITE";
        case StatusCode::ErrErase: return "errERASE";
        case StatusCode::ErrCheckErased: return "errCHECK_ERASED";
        case StatusCode::ErrProg: return "errPROG";
        case StatusCode::ErrVerify: return "errVERIFY";
        case StatusCode::ErrAddress: return "errADDRESS";
        case StatusCode::ErrNotDone: return "errNOTDONE";
        case StatusCode::ErrFirmware: return "errFIRMWARE";
        case StatusCode::ErrVendor: return "errVENDOR";
        case StatusCode::ErrUsbr: return "errUSBR";
        case StatusCode::ErrPor: return "errPOR";
        case StatusCode::ErrUnknown: return "errUNKNOWN";
        case StatusCode::ErrStalledPkt: return "errSTALLEDPKT";
    }
    return "unknown";
}

std::array<uint8_t, 6> StatusRecord::bytes() const {
    return {status,
            uint8_t(pollTimeoutMs),
            uint8_t(pollTimeoutMs >> 8),
            uint8_t(pollTimeoutMs >> 16),
            state,
            iString};
}

StatusRecord StatusRecord::FromBytes(std::span<const uint8_t, 6> b) {
    return {b[0], uint32_t(b[1]) | uint32_t(b[2]) << 8 | uint32_t(b[3]) << 16, b[4], b[5]};
}

std::string Describe(const StatusRecord& record) {
    return std::string(StatusCodeName(StatusCode(record.status))) + " in " +
           std::string(StateName(State(record.state)));
}

Error DeviceError(const StatusRecord& record) {
    return Error("device reports " + Describe(record), ErrorKind::DeviceStatus);
}

namespace {

// bmRequestType of class requests to an interface (USB DFU 1.1, section 3).
constexpr uint8_t kClassOut = 0x21;
constexpr uint8_t kClassIn = 0xA1;

}  // namespace

Result<size_t> Dfu::Control(uint8_t requestType, Request request, uint16_t value,
                            std::span<uint8_t> data) {
    if (onRequest) onRequest(request, value, data.size());
    Setup setup{requestType, uint8_t(request), value, interface_, uint16_t(data.size())};
    auto done = transport_.Control(setup, data, kRequestTimeout);
    if (!done) {
        std::string what(RequestName(request));
        if (request == Request::Dnload || request == Request::Upload)
            what += " block " + std::to_string(value);
        return done.error().context(what);
    }
    return done;
}

Status Dfu::Dnload(uint16_t block, std::span<const uint8_t> data) {
    // The transport only reads host-to-device data.
    std::span<uint8_t> out(const_cast<uint8_t*>(data.data()), data.size());
    auto sent = Control(kClassOut, Request::Dnload, block, out);
    if (!sent) return sent.error();
    return {};
}

Result<size_t> Dfu::Upload(uint16_t block, std::span<uint8_t> data) {
    return Control(kClassIn, Request::Upload, block, data);
}

Result<StatusRecord> Dfu::GetStatus() {
    std::array<uint8_t, 6> buffer{};
    auto got = Control(kClassIn, Request::GetStatus, 0, buffer);
    if (!got) return got.error();
    if (*got != buffer.size())
        return Error("GETSTATUS: short answer of " + std::to_string(*got) + " bytes");
    StatusRecord record = StatusRecord::FromBytes(buffer);
    if (onStatus) onStatus(record);
    return record;
}

Status Dfu::ClrStatus() {
    auto sent = Control(kClassOut, Request::ClrStatus, 0, {});
    if (!sent) return sent.error();
    return {};
}

Status Dfu::Abort() {
    auto sent = Control(kClassOut, Request::Abort, 0, {});
    if (!sent) return sent.error();
    return {};
}

Result<StatusRecord> Dfu::WaitWhileBusy(const SleepUntil& sleep) {
    const auto bound = std::chrono::steady_clock::now() + kBusyBound;
    for (;;) {
        auto record = GetStatus();
        if (!record) return record;
        // The wait starts when the answer is in: the device counts its busy time from then.
        const auto asked =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(record->pollTimeoutMs);
        if (!record->ok()) return DeviceError(*record);
        State state = State(record->state);
        if (state != State::DfuDnbusy && state != State::DfuDnloadSync) return record;
        if (asked > bound)
            return Error("device stays busy longer than " +
                         std::to_string(kBusyBound.count() / 1000) + " s");
        if (!sleep(asked)) return Error("cancelled");
    }
}

Result<StatusRecord> Dfu::ToIdle(const SleepUntil& sleep) {
    // Each step moves the device one state on; a handful is enough from any DFU state.
    for (int attempt = 0; attempt < 6; ++attempt) {
        auto record = GetStatus();
        if (!record) return record;
        switch (State(record->state)) {
            case State::DfuIdle: return record;
            case State::DfuError: {
                if (auto cleared = ClrStatus(); !cleared) return cleared.error();
                break;
            }
            case State::DfuDnbusy:
            case State::DfuDnloadSync: {
                // ABORT is not allowed while busy: wait out the command the device is finishing.
                const auto asked = std::chrono::milliseconds(record->pollTimeoutMs);
                if (asked > kBusyBound) return Error("device stays busy too long");
                if (!sleep(std::chrono::steady_clock::now() + asked)) return Error("cancelled");
                break;
            }
            case State::AppIdle:
            case State::AppDetach:
                return Error("device is not in DFU mode (" +
                                 std::string(StateName(State(record->state))) + ")",
                             ErrorKind::WrongState);
            default: {
                if (auto aborted = Abort(); !aborted) return aborted.error();
                break;
            }
        }
    }
    return Error("device does not return to dfuIDLE", ErrorKind::WrongState);
}

}  // namespace dfu
