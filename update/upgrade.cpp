// The upgrade: "Upgrade" launches the erase phase of the first loaded image; the timer polls the
// operation the dialog holds, moves from erase to write, pauses between images, and ends the update
// when the last image is written or an operation fails.
//
// Message boxes run a nested message loop in which ticks and device changes keep arriving, so
// every path brings the update to rest before it shows a box.
#include "app/vqz_downloaderDlg.h"

#include "update/failure_text.h"
#include "update/progress_text.h"
#include "update/report.h"
#include "update/step_text.h"
#include "update/tick.h"

#include "device/interface_path.h"
#include "framework/ascii_text.h"
#include "framework/message_box.h"

#include <cstring>
#include <ctime>

namespace {

// The second GUID of every operation this program launches.
constexpr StdfuGuid kUpdaterGuid{
    0xCB979912, 0x5029, 0x420A, {0xAE, 0xB1, 0x34, 0xFC, 0x0A, 0x7D, 0x57, 0x26}};

int64_t CalendarSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

update::LoadedSlots LoadedSlotsOf(const Cvqz_downloaderDlg& dlg) {
    update::LoadedSlots loaded{};
    for (int k = 0; k < update::kSlotCount; ++k) loaded[k] = dlg.m_hImages[k] != 0;
    return loaded;
}

// The slot whose image is being written; none when the current image is no longer in a slot.
std::optional<int> CurrentSlot(const Cvqz_downloaderDlg& dlg) {
    if (dlg.m_hCurrentImage == 0) return std::nullopt;
    for (int k = 0; k < update::kSlotCount; ++k) {
        if (dlg.m_hImages[k] == dlg.m_hCurrentImage) return k;
    }
    return std::nullopt;
}

// The loaded slot to write after the current one.
std::optional<int> NextSlot(const Cvqz_downloaderDlg& dlg) {
    const std::optional<int> current = CurrentSlot(dlg);
    if (!current) return std::nullopt;
    return update::NextLoadedSlot(LoadedSlotsOf(dlg), *current);
}

void ShowElapsedTime(Cvqz_downloaderDlg& dlg) {
    dlg.ChangeTexts([&] { dlg.m_strDuration = update::DurationText(CalendarSeconds() - dlg.m_tUpdateStart); });
}

// The record a launch starts from: the erase phase on the selected device, everything else zero.
// False when the device path does not fit.
bool FillLaunchContext(const Cvqz_downloaderDlg& dlg, StdfuOperationContext& ctx) {
    ctx = StdfuOperationContext{};
    ctx.dfuInterfaceGuid = device::kDfuInterfaceClass;
    ctx.appGuid = kUpdaterGuid;
    ctx.operation = STDFU_OP_ERASE;
    if (dlg.m_strDevicePath.size() >= sizeof ctx.szDevLink) return false;
    std::memcpy(ctx.szDevLink, dlg.m_strDevicePath.c_str(), dlg.m_strDevicePath.size() + 1);
    return true;
}

// A phase reported an error: the update ends, the user is told, and the device is looked for anew.
void FailOperation(Cvqz_downloaderDlg& dlg, StdfuOperationContext& ctx) {
    dlg.StopHeldOperation(&ctx);

    AfxMessageBox(AsciiToWide(update::FailureText(ctx)));
    dlg.DetectDevice();
    dlg.PlaceFocus();
}

// One tick of a running phase: show its progress, and at 100 % go on to the next phase or image.
void PollOperation(Cvqz_downloaderDlg& dlg) {
    ShowElapsedTime(dlg);

    StdfuOperationContext ctx{};
    if (const uint32_t result = STDFUPRT_GetOperationStatus(dlg.m_dwOperationId, &ctx); result != STDFU_OK)
        ctx.errorCode = result;
    if (ctx.errorCode != STDFU_OK) {
        FailOperation(dlg, ctx);
        return;
    }

    const unsigned percent = ctx.percent;
    const std::optional<int> slot = CurrentSlot(dlg);
    const update::SlotSteps steps = update::StepsOfSlot(LoadedSlotsOf(dlg), slot.value_or(0));
    std::wstring stepText;
    if (ctx.operation == STDFU_OP_UPGRADE) {
        const uint32_t size = STDFUFILES_GetImageSize(ctx.hImage);
        dlg.ChangeTexts([&] { dlg.m_strTransferred = update::SizeText(size, percent); });
        stepText = update::FormatStepTemplate(dlg.Message(lang::key::kWriteStep), percent, steps.write, steps.total);
    } else {
        stepText = update::FormatStepTemplate(dlg.Message(lang::key::kEraseStep), percent, steps.erase, steps.total);
    }
    dlg.m_ctrlProgress.SetWindowText(stepText);
    dlg.m_ctrlProgress.SetPos(static_cast<int>(percent));
    if (percent != 100) return;

    if (ctx.operation == STDFU_OP_ERASE) {
        // The erase phase is done: the write phase goes on in the same record.
        dlg.StopHeldOperation(&ctx);
        ctx.operation = STDFU_OP_UPGRADE;
        ctx.hImage = dlg.m_hWorkImage;
        const uint32_t result = STDFUPRT_LaunchOperation(&ctx, &dlg.m_dwOperationId);
        if (result != STDFU_OK) {
            dlg.m_dwOperationId = 0;
            ctx.errorCode = result;
            dlg.ShowOperationReport(ctx);
            dlg.RunPendingDetection();
        }
    } else if (ctx.operation == STDFU_OP_UPGRADE) {
        if (NextSlot(dlg)) {
            // The write phase stays held until the pause ends.
            dlg.m_bNextImagePending = true;
            dlg.m_dwPauseStartTick = ::GetTickCount();
            return;
        }
        dlg.StopHeldOperation();
        const std::wstring& done = dlg.Message(lang::key::kDone);
        dlg.ChangeTexts([&] { dlg.m_strStatus = done; });
        dlg.m_ctrlProgress.SetWindowText(done);
        dlg.RunPendingDetection();
    }
}

}  // namespace

void Cvqz_downloaderDlg::OnBnClickedUpgrade() {
    // The button is disabled while an update runs; a click that still arrives starts nothing.
    if (m_dwOperationId != 0) return;

    m_bNextImagePending = false;
    m_dwPauseStartTick = 0;
    m_hCurrentImage = 0;
    const std::optional<int> first = update::FirstLoadedSlot(LoadedSlotsOf(*this));
    if (!first) return;
    m_hCurrentImage = m_hImages[*first];
    m_tUpdateStart = CalendarSeconds();
    LaunchImage(*first);
}

void Cvqz_downloaderDlg::LaunchImage(int k) {
    StdfuOperationContext ctx;
    // A slot is written only to its own mapping entry; without one there is nothing to launch.
    const bool entryExists = m_pMapping != nullptr && k >= 0 && static_cast<uint32_t>(k) < m_nMappingCount;
    if (!FillLaunchContext(*this, ctx) || !entryExists) {
        m_dwOperationId = 0;
        ctx.errorCode = STDFU_ERR_BAD_PARAMETER;
        ShowOperationReport(ctx);
        RunPendingDetection();
        return;
    }
    const StdfuMapping* entry = &m_pMapping[k];

    if (m_hWorkImage != 0) STDFUFILES_DestroyImage(&m_hWorkImage);
    STDFUFILES_DuplicateImage(m_hCurrentImage, &m_hWorkImage);
    STDFUFILES_FilterImageForOperation(m_hWorkImage, entry, STDFU_OP_UPGRADE, 0);

    uint32_t eraseCopy = 0;
    STDFUFILES_DuplicateImage(m_hCurrentImage, &eraseCopy);
    STDFUFILES_FilterImageForOperation(eraseCopy, entry, STDFU_OP_ERASE, 0);
    ctx.hImage = eraseCopy;

    const uint32_t size = STDFUFILES_GetImageSize(m_hWorkImage);
    ChangeTexts([&] { m_strTransferred = update::InitialSizeText(size); });

    const uint32_t result = STDFUPRT_LaunchOperation(&ctx, &m_dwOperationId);
    if (result != STDFU_OK) {
        m_dwOperationId = 0;
        STDFUFILES_DestroyImage(&eraseCopy);
        ctx.errorCode = result;
        ShowOperationReport(ctx);
        RunPendingDetection();
        return;
    }
    ResetProgressBar();
    EnableUpgrade(false);
    PlaceFocus();
}

void Cvqz_downloaderDlg::OnTimer(UINT_PTR) {
    if (m_bNextImagePending) {
        // The pause between two images: the finished write phase is still held.
        if (update::PauseOver(m_dwPauseStartTick, ::GetTickCount(), m_nImageDelay)) {
            m_bNextImagePending = false;
            StopHeldOperation();
            if (const std::optional<int> next = NextSlot(*this)) {
                m_hCurrentImage = m_hImages[*next];
                LaunchImage(*next);
            } else {
                RunPendingDetection();
            }
        }
        ShowElapsedTime(*this);
    } else if (m_dwOperationId != 0) {
        PollOperation(*this);
    }
    Default();
}

void Cvqz_downloaderDlg::StopHeldOperation(StdfuOperationContext* last) {
    if (m_dwOperationId == 0) return;
    StdfuOperationContext stopped{};
    StdfuOperationContext& ctx = last ? *last : stopped;
    STDFUPRT_StopOperation(m_dwOperationId, &ctx);
    m_dwOperationId = 0;
    m_bNextImagePending = false;
    // Released once: the work copy is the dialog's no more.
    if (ctx.hImage == m_hWorkImage) m_hWorkImage = 0;
    STDFUFILES_DestroyImage(&ctx.hImage);
}

void Cvqz_downloaderDlg::ResetProgressBar() {
    m_ctrlProgress.SetPos(0);
    m_ctrlProgress.SetWindowText(L"");  // an empty text shows the percentage
    m_ctrlProgress.SetShowText(true);
    m_ctrlProgress.SetBarColor(RGB(0, 128, 0));
    m_ctrlProgress.SetEmptyColor(RGB(255, 255, 250));
    m_ctrlProgress.SetEmptyTextColor(RGB(0, 128, 0));
    m_ctrlProgress.SetBarTextColor(RGB(255, 255, 250));
}

void Cvqz_downloaderDlg::ShowOperationReport(const StdfuOperationContext& ctx) {
    AfxMessageBox(AsciiToWide(update::OperationReportText(ctx)));
}
