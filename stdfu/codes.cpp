#include "stdfu/codes.h"

#include "stdfu/stdfu.h"

namespace stdfu {

uint32_t ErrorCode(const dfu::Error& error) {
    switch (error.kind()) {
        case dfu::ErrorKind::BadParameter: return STDFU_ERR_BAD_PARAMETER;
        case dfu::ErrorKind::Thread: return STDFU_ERR_LAUNCH_THREAD;
        case dfu::ErrorKind::WrongState: return STDFU_ERR_FIRMWARE_STATE;
        // A stalled request leaves the device in dfuERROR with its reason in the status: the
        // report shows it as it shows any device error.
        case dfu::ErrorKind::DeviceStatus:
        case dfu::ErrorKind::Verify:
        case dfu::ErrorKind::Stall: return STDFU_ERR_DFU;
        case dfu::ErrorKind::Other:
        case dfu::ErrorKind::Timeout:
        case dfu::ErrorKind::Gone: break;
    }
    return STDFU_ERR_UNEXPECTED;
}

std::optional<dfu::Phase> PhaseOf(int64_t operation) {
    if (operation == STDFU_OP_ERASE) return dfu::Phase::Erase;
    if (operation == STDFU_OP_UPGRADE) return dfu::Phase::Write;
    return std::nullopt;
}

}  // namespace stdfu
