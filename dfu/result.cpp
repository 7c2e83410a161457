#include "dfu/result.h"

namespace dfu {

std::string_view ErrorKindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Other: return "error";
        case ErrorKind::BadParameter: return "bad parameter";
        case ErrorKind::Thread: return "thread problem";
        case ErrorKind::WrongState: return "wrong device state";
        case ErrorKind::DeviceStatus: return "device status";
        case ErrorKind::Verify: return "read-back mismatch";
        case ErrorKind::Stall: return "stall";
        case ErrorKind::Timeout: return "timeout";
        case ErrorKind::Gone: return "device gone";
    }
    return "unknown";
}

}  // namespace dfu
