// The device calls of the boundary: open a DFU device by interface path, read its descriptors.
#include <algorithm>
#include <cstring>

#include "dfu/device.h"
#include "dfu/transport.h"
#include "stdfu/codes.h"
#include "stdfu/handles.h"
#include "stdfu/stdfu.h"

namespace {

struct OpenDevice {
    std::unique_ptr<dfu::Transport> transport;
};

stdfu::HandleTable<OpenDevice>& Devices() {
    static stdfu::HandleTable<OpenDevice> devices;
    return devices;
}

}  // namespace

uint32_t STDFU_Open(const char* szDevicePath, uint32_t* phDevice) {
    if (!szDevicePath || !phDevice) return STDFU_ERR_BAD_PARAMETER;
    *phDevice = 0;
    auto transport = dfu::OpenTransport(szDevicePath);
    if (!transport) return stdfu::ErrorCode(transport.error());
    *phDevice = Devices().Add(std::make_shared<OpenDevice>(OpenDevice{std::move(*transport)}));
    return STDFU_OK;
}

uint32_t STDFU_GetDeviceDescriptor(uint32_t* phDevice, StdfuDeviceDescriptor* pDesc) {
    if (!phDevice || !pDesc) return STDFU_ERR_BAD_PARAMETER;
    auto device = Devices().Get(*phDevice);
    if (!device) return STDFU_ERR_BAD_PARAMETER;
    auto read = dfu::ReadDeviceDescriptor(*device->transport);
    if (!read) return stdfu::ErrorCode(read.error());
    static_assert(sizeof(StdfuDeviceDescriptor) == sizeof(read->bytes));
    std::memcpy(pDesc, read->bytes.data(), sizeof *pDesc);
    return STDFU_OK;
}

uint32_t STDFU_GetDFUDescriptor(uint32_t* phDevice, uint32_t* pnInterface, uint32_t* pnAlternates,
                                StdfuDfuFunctionalDescriptor* pDesc) {
    if (!phDevice || !pDesc) return STDFU_ERR_BAD_PARAMETER;
    auto device = Devices().Get(*phDevice);
    if (!device) return STDFU_ERR_BAD_PARAMETER;
    auto read = dfu::ReadDfuInterface(*device->transport);
    if (!read) return stdfu::ErrorCode(read.error());
    if (pnInterface) *pnInterface = read->number;
    if (pnAlternates) *pnAlternates = uint32_t(read->alternates.size());
    const dfu::FunctionalDescriptor& f = read->functional;
    *pDesc = StdfuDfuFunctionalDescriptor{f.bLength,        f.bDescriptorType, f.bmAttributes,
                                          f.wDetachTimeOut, f.wTransferSize,   f.bcdDFUVersion};
    return STDFU_OK;
}

uint32_t STDFU_Close(uint32_t* phDevice) {
    if (!phDevice) return STDFU_ERR_BAD_PARAMETER;
    auto device = Devices().Take(*phDevice);
    *phDevice = 0;
    return device ? STDFU_OK : STDFU_ERR_BAD_PARAMETER;
}
