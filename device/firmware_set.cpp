// Cvqz_downloaderDlg: the firmware file set beside the executable, loaded into the image slots for
// the detected device's family (LoadFirmwareFiles), and the reset of the upgrade state and its
// display (ResetUpgradeState).
#include "app/vqz_downloaderDlg.h"
#include "device/family.h"
#include "device/narrow.h"
#include "framework/message_box.h"
#include "framework/win_app.h"
#include "update/progress_text.h"

#include <shlwapi.h>

#include <string>

namespace {

// The first image of an open file, or 0 when it or its alternate setting cannot be read.
uint32_t ReadFirstImage(uint32_t file) {
    uint32_t image = 0;
    if (STDFUFILES_ReadImageFromDFUFile(file, 0, &image) != STDFU_OK) return 0;
    uint8_t alternate = 0;
    if (STDFUFILES_GetImageAlternate(image, &alternate) != STDFU_OK) {
        STDFUFILES_DestroyImage(&image);
        return 0;
    }
    return image;
}

}  // namespace

void Cvqz_downloaderDlg::LoadFirmwareFiles() {
    ResetUpgradeState();
    const auto files = device::FirmwareFiles(m_strMappingName);
    if (!files) return;

    const std::wstring folder = ExecutableFolder(ModulePath());
    for (size_t slot = 0; slot < files->size(); ++slot) {
        const std::wstring path = BesideExecutable(folder, (*files)[slot]);
        if (slot == 0) {
            ::OutputDebugStringA("DFU:");
            ::OutputDebugStringA(device::Narrow(path, CP_ACP).c_str());
            ::OutputDebugStringA("\n");
        }
        if (!::PathFileExistsW(path.c_str())) continue;

        uint32_t file = 0;
        if (STDFUFILES_OpenExistingDFUFile(device::Narrow(path, CP_UTF8).c_str(), &file, nullptr, nullptr,
                                           nullptr, nullptr) != STDFU_OK) {
            AfxMessageBox(Message(lang::key::kBadFirmwareFile));
            ::ExitProcess(0);
        }
        m_bFilesLoaded = true;
        // A slot without a mapping entry has no target on the device: it stays empty, so an
        // update never reaches it.
        if (slot < m_nMappingCount) m_hImages[slot] = ReadFirstImage(file);
        STDFUFILES_CloseDFUFile(file);
    }
    EnableUpgrade((m_DfuDesc.bmAttributes & 0x01) && m_bFilesLoaded);
}

void Cvqz_downloaderDlg::ResetUpgradeState() {
    m_bFilesLoaded = false;
    if (m_hWorkImage) STDFUFILES_DestroyImage(&m_hWorkImage);
    m_hWorkImage = 0;
    for (uint32_t& image : m_hImages) {
        if (image) STDFUFILES_DestroyImage(&image);
        image = 0;
    }
    EnableUpgrade(false);

    ResetProgressBar();
    ChangeTexts([&] {
        m_strDuration = update::DurationText(0);
        m_strTransferred = update::InitialSizeText(0);
    });
}
