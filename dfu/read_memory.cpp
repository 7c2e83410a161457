#include "dfu/read_memory.h"

#include <thread>

#include "dfu/device.h"
#include "dfu/dfu11a.h"
#include "dfu/protocol.h"

namespace dfu {

Result<std::vector<uint8_t>> ReadMemory(Transport& transport, uint8_t alternate, uint32_t address,
                                        uint32_t length,
                                        const std::function<bool(size_t)>& onRead) {
    auto iface = ReadDfuInterface(transport);
    if (!iface) return iface.error();
    if (!iface->functional.canUpload()) return Error("the device does not allow reading (upload)");
    if (auto selected = SelectAlternate(transport, *iface, alternate); !selected)
        return selected.error();
    const SleepUntil sleep = [](std::chrono::steady_clock::time_point deadline) {
        std::this_thread::sleep_until(deadline);
        return true;
    };
    Dfu dfu(transport, iface->number);
    std::vector<uint8_t> memory(length);
    if (auto read =
            dfu11a::Upload(dfu, address, memory, iface->functional.wTransferSize, sleep, onRead);
        !read)
        return read.error();
    if (auto idle = dfu.ToIdle(sleep); !idle)
        return idle.error().context("cannot bring the device to dfuIDLE");
    return memory;
}

}  // namespace dfu
