#include "stdfu/handles.h"

#include "stdfu/images.h"
#include "stdfu/stdfu.h"

namespace stdfu {

uint32_t NextHandle() {
    static std::atomic<uint32_t> next{0};
    uint32_t handle;
    do {
        handle = ++next;
    } while (handle == 0);
    return handle;
}

std::atomic<uint32_t>& LiveHandles() {
    static std::atomic<uint32_t> live{0};
    return live;
}

HandleTable<dfu::Image>& Images() {
    static HandleTable<dfu::Image> images;
    return images;
}

}  // namespace stdfu

uint32_t STDFU_LiveHandleCount() { return stdfu::LiveHandles().load(); }
