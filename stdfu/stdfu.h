// The boundary the updater calls for everything USB DFU: devices, memory maps, background
// operations, DFU files and images. Handles and operation IDs are opaque 32-bit values, 0 = none.
// Every call but STDFUFILES_GetImageSize returns STDFU_OK or an error code.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

struct StdfuGuid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

// USB 2.0 standard device descriptor.
struct StdfuDeviceDescriptor {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint16_t bcdUSB;
    uint8_t bDeviceClass;
    uint8_t bDeviceSubClass;
    uint8_t bDeviceProtocol;
    uint8_t bMaxPacketSize0;
    uint16_t idVendor;
    uint16_t idProduct;
    uint16_t bcdDevice;
    uint8_t iManufacturer;
    uint8_t iProduct;
    uint8_t iSerialNumber;
    uint8_t bNumConfigurations;
};

// DFU functional descriptor (USB DFU 1.1, section 4.1.3).
struct StdfuDfuFunctionalDescriptor {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint8_t bmAttributes;
    uint16_t wDetachTimeOut;
    uint16_t wTransferSize;
    uint16_t bcdDFUVersion;
};

// The GETSTATUS record (USB DFU 1.1, section 6.1.2).
struct StdfuDfuStatus {
    uint8_t bStatus;
    uint8_t bwPollTimeout[3];
    uint8_t bState;
    uint8_t iString;
};

// Sector properties: the bits of a memory layout string's property letter.
enum : uint8_t {
    STDFU_SECTOR_READABLE = 1,
    STDFU_SECTOR_ERASABLE = 2,
    STDFU_SECTOR_WRITABLE = 4,
};

struct StdfuSector {
    uint32_t dwStartAddress;
    uint32_t dwSize;
    uint8_t bProperties;
};

// One entry per alternate setting of the DFU interface.
struct StdfuMapping {
    uint8_t nAlternate;
    char szName[260];
    uint32_t nSectors;
    StdfuSector* pSectors;
};

struct StdfuOperationContext {
    StdfuGuid dfuInterfaceGuid;
    StdfuGuid appGuid;
    int32_t operation;
    uint32_t reserved0;
    uint32_t hImage;
    char szDevLink[260];
    uint32_t reserved1;
    uint8_t percent;
    uint16_t wTransferSize;
    StdfuDfuStatus lastStatus;
    uint32_t currentRequest;
    uint32_t currentNBlock;
    uint32_t currentLength;
    uint8_t reserved2[8];
    uint32_t errorCode;
};

#pragma pack(pop)

static_assert(sizeof(StdfuGuid) == 16);
static_assert(sizeof(StdfuDeviceDescriptor) == 18);
static_assert(sizeof(StdfuDfuFunctionalDescriptor) == 9);
static_assert(sizeof(StdfuDfuStatus) == 6);
static_assert(offsetof(StdfuMapping, szName) == 1);
static_assert(offsetof(StdfuMapping, nSectors) == 261);
static_assert(offsetof(StdfuMapping, pSectors) == 265);
static_assert(sizeof(StdfuMapping) == 265 + sizeof(void*));
static_assert(offsetof(StdfuOperationContext, appGuid) == 16);
static_assert(offsetof(StdfuOperationContext, operation) == 32);
static_assert(offsetof(StdfuOperationContext, hImage) == 40);
static_assert(offsetof(StdfuOperationContext, szDevLink) == 44);
static_assert(offsetof(StdfuOperationContext, percent) == 308);
static_assert(offsetof(StdfuOperationContext, wTransferSize) == 309);
static_assert(offsetof(StdfuOperationContext, lastStatus) == 311);
static_assert(offsetof(StdfuOperationContext, currentRequest) == 317);
static_assert(offsetof(StdfuOperationContext, currentNBlock) == 321);
static_assert(offsetof(StdfuOperationContext, currentLength) == 325);
static_assert(offsetof(StdfuOperationContext, errorCode) == 337);
static_assert(sizeof(StdfuOperationContext) == 341);

constexpr uint32_t STDFU_OK = 0x12340000;

constexpr int32_t STDFU_OP_DETACH = 0;
constexpr int32_t STDFU_OP_RETURN = 1;
constexpr int32_t STDFU_OP_UPLOAD = 2;
constexpr int32_t STDFU_OP_ERASE = 3;
constexpr int32_t STDFU_OP_UPGRADE = 4;

constexpr uint32_t STDFU_ERR_LAUNCH_THREAD = 0x12345001;
constexpr uint32_t STDFU_ERR_ALREADY_RUNNING = 0x12345007;
constexpr uint32_t STDFU_ERR_BAD_PARAMETER = 0x12345008;
constexpr uint32_t STDFU_ERR_FIRMWARE_STATE = 0x12345009;
constexpr uint32_t STDFU_ERR_UNEXPECTED = 0x1234500A;
constexpr uint32_t STDFU_ERR_DFU = 0x1234500B;
constexpr uint32_t STDFU_ERR_RETRY = 0x1234500C;
constexpr uint32_t STDFU_ERR_UNSUPPORTED = 0x1234500D;

// The current request of an operation context: the request number in the top byte.
constexpr uint32_t STDFU_RQ_GET_DEVICE_DESCRIPTOR = 0x02000000;
constexpr uint32_t STDFU_RQ_GET_DFU_DESCRIPTOR = 0x03000000;
constexpr uint32_t STDFU_RQ_GET_STRING_DESCRIPTOR = 0x04000000;
constexpr uint32_t STDFU_RQ_OPEN = 0x0A000000;
constexpr uint32_t STDFU_RQ_CLOSE = 0x0B000000;
constexpr uint32_t STDFU_RQ_DOWNLOAD = 0x0D000000;
constexpr uint32_t STDFU_RQ_UPLOAD = 0x0E000000;
constexpr uint32_t STDFU_RQ_GET_STATUS = 0x0F000000;
constexpr uint32_t STDFU_RQ_CLEAR_STATUS = 0x10000000;
constexpr uint32_t STDFU_RQ_GET_STATE = 0x11000000;
constexpr uint32_t STDFU_RQ_ABORT = 0x12000000;
constexpr uint32_t STDFU_RQ_SELECT_TARGET = 0x13000000;  // SET_INTERFACE to the image's alternate setting

// Devices. Paths are ASCII interface paths.
uint32_t STDFU_Open(const char* szDevicePath, uint32_t* phDevice);
uint32_t STDFU_GetDeviceDescriptor(uint32_t* phDevice, StdfuDeviceDescriptor* pDesc);
// pnInterface and pnAlternates (either may be null) receive the DFU interface number and the
// number of its alternate settings.
uint32_t STDFU_GetDFUDescriptor(uint32_t* phDevice, uint32_t* pnInterface, uint32_t* pnAlternates,
                                StdfuDfuFunctionalDescriptor* pDesc);
uint32_t STDFU_Close(uint32_t* phDevice);

// Memory maps and background operations.
uint32_t STDFUPRT_CreateMappingFromDevice(const char* szDevicePath, StdfuMapping** ppMapping,
                                          uint32_t* pnMappings);
uint32_t STDFUPRT_DestroyMapping(StdfuMapping** ppMapping);
uint32_t STDFUPRT_LaunchOperation(const StdfuOperationContext* pContext, uint32_t* pOperationId);
uint32_t STDFUPRT_GetOperationStatus(uint32_t operationId, StdfuOperationContext* pContext);
// pContext may be null.
uint32_t STDFUPRT_StopOperation(uint32_t operationId, StdfuOperationContext* pContext);

// DFU files and images. File paths are UTF-8. The optional outputs may be null.
uint32_t STDFUFILES_OpenExistingDFUFile(const char* szPath, uint32_t* phFile, uint16_t* pVid,
                                        uint16_t* pPid, uint16_t* pBcd, uint8_t* pNbImages);
uint32_t STDFUFILES_ReadImageFromDFUFile(uint32_t hFile, int index, uint32_t* phImage);
uint32_t STDFUFILES_GetImageAlternate(uint32_t hImage, uint8_t* pAlternate);
uint32_t STDFUFILES_CloseDFUFile(uint32_t hFile);
uint32_t STDFUFILES_DuplicateImage(uint32_t hSource, uint32_t* phDest);
// operation is STDFU_OP_ERASE or STDFU_OP_UPGRADE; the last argument is reserved, pass 0.
uint32_t STDFUFILES_FilterImageForOperation(uint32_t hImage, const StdfuMapping* pMapping,
                                            uint32_t operation, int reserved);
uint32_t STDFUFILES_GetImageSize(uint32_t hImage);
uint32_t STDFUFILES_DestroyImage(uint32_t* phImage);

// Not part of the calls the updater makes: how many device, file, image, mapping and operation
// handles are alive, so that tests can check that nothing leaks.
uint32_t STDFU_LiveHandleCount();
