// The file and image calls of the boundary: DFU files and the images read from them.
#include <algorithm>

#include "dfu/dfu_file.h"
#include "dfu/filter.h"
#include "stdfu/codes.h"
#include "stdfu/images.h"
#include "stdfu/stdfu.h"

namespace {

stdfu::HandleTable<dfu::DfuFile>& Files() {
    static stdfu::HandleTable<dfu::DfuFile> files;
    return files;
}

std::vector<dfu::Sector> SectorsOf(const StdfuMapping& entry) {
    std::vector<dfu::Sector> sectors;
    if (!entry.pSectors) return sectors;
    for (uint32_t i = 0; i < entry.nSectors; ++i) {
        const StdfuSector& s = entry.pSectors[i];
        sectors.push_back({s.dwStartAddress, s.dwSize, s.bProperties});
    }
    return sectors;
}

}  // namespace

uint32_t STDFUFILES_OpenExistingDFUFile(const char* szPath, uint32_t* phFile, uint16_t* pVid,
                                        uint16_t* pPid, uint16_t* pBcd, uint8_t* pNbImages) {
    if (!szPath || !phFile) return STDFU_ERR_BAD_PARAMETER;
    *phFile = 0;
    auto file = dfu::ReadDfuFile(szPath);
    if (!file) return stdfu::ErrorCode(file.error());
    if (pVid) *pVid = file->vendorId;
    if (pPid) *pPid = file->productId;
    if (pBcd) *pBcd = file->bcdDevice;
    if (pNbImages) *pNbImages = uint8_t(file->images.size());
    *phFile = Files().Add(std::make_shared<dfu::DfuFile>(std::move(*file)));
    return STDFU_OK;
}

uint32_t STDFUFILES_ReadImageFromDFUFile(uint32_t hFile, int index, uint32_t* phImage) {
    if (!phImage) return STDFU_ERR_BAD_PARAMETER;
    *phImage = 0;
    auto file = Files().Get(hFile);
    if (!file || index < 0 || size_t(index) >= file->images.size())
        return STDFU_ERR_BAD_PARAMETER;
    *phImage = stdfu::Images().Add(std::make_shared<dfu::Image>(file->images[size_t(index)]));
    return STDFU_OK;
}

uint32_t STDFUFILES_GetImageAlternate(uint32_t hImage, uint8_t* pAlternate) {
    if (!pAlternate) return STDFU_ERR_BAD_PARAMETER;
    auto image = stdfu::Images().Get(hImage);
    if (!image) return STDFU_ERR_BAD_PARAMETER;
    *pAlternate = image->alternate;
    return STDFU_OK;
}

uint32_t STDFUFILES_CloseDFUFile(uint32_t hFile) {
    // Images hold copies of their targets, so they outlive the file.
    return Files().Take(hFile) ? STDFU_OK : STDFU_ERR_BAD_PARAMETER;
}

uint32_t STDFUFILES_DuplicateImage(uint32_t hSource, uint32_t* phDest) {
    if (!phDest) return STDFU_ERR_BAD_PARAMETER;
    *phDest = 0;
    auto source = stdfu::Images().Get(hSource);
    if (!source) return STDFU_ERR_BAD_PARAMETER;
    *phDest = stdfu::Images().Add(std::make_shared<dfu::Image>(*source));
    return STDFU_OK;
}

uint32_t STDFUFILES_FilterImageForOperation(uint32_t hImage, const StdfuMapping* pMapping,
                                            uint32_t operation, int /*reserved*/) {
    const auto phase = stdfu::PhaseOf(operation);
    if (!pMapping || !phase) return STDFU_ERR_BAD_PARAMETER;
    auto image = stdfu::Images().Get(hImage);
    if (!image) return STDFU_ERR_BAD_PARAMETER;
    auto filtered = dfu::FilterImage(*image, pMapping->nAlternate, SectorsOf(*pMapping), *phase);
    if (!filtered) return stdfu::ErrorCode(filtered.error());
    // A new object under the same handle: an operation already holding the old one keeps
    // reading what it was given.
    stdfu::Images().Replace(hImage, std::make_shared<dfu::Image>(std::move(*filtered)));
    return STDFU_OK;
}

uint32_t STDFUFILES_GetImageSize(uint32_t hImage) {
    auto image = stdfu::Images().Get(hImage);
    if (!image) return 0;
    return uint32_t(std::min<uint64_t>(image->size(), 0xFFFFFFFFu));
}

uint32_t STDFUFILES_DestroyImage(uint32_t* phImage) {
    if (!phImage) return STDFU_ERR_BAD_PARAMETER;
    stdfu::Images().Take(*phImage);
    *phImage = 0;
    return STDFU_OK;
}
