// The main dialog: holds all of the updater's state and handles every message of its window.
// Its member functions live in the folder of their concern: app/ (start-up, painting, the message
// map), lang/ (LoadLanguageFile), device/ (detection, notifications, the firmware set), update/
// (the upgrade and its timer).
#pragma once

#include "app/resource.h"
#include "controls/text_progress_ctrl.h"
#include "device/interface_source.h"
#include "framework/bitmap.h"
#include "framework/button.h"
#include "framework/dialog.h"
#include "lang/keys.h"
#include "stdfu/stdfu.h"

#include <array>
#include <cstdint>
#include <string>

class Cvqz_downloaderDlg : public CDialogEx {
public:
    enum { IDD = IDD_VQZ_DOWNLOADER_DIALOG };

    explicit Cvqz_downloaderDlg(CWnd* parent = nullptr);
    ~Cvqz_downloaderDlg() override;

    // The language file's texts, by their keys (lang::key).
    std::wstring& Message(int key) { return m_strMessages[static_cast<size_t>(key - lang::key::kFirstMessage)]; }
    std::wstring& ControlText(int key) {
        return m_strControlTexts[static_cast<size_t>(key - lang::key::kFirstControl)];
    }

    bool m_bNextImagePending = false;       // a pause between two images is running
    uint32_t m_dwPauseStartTick = 0;        // tick count at which that pause began
    uint32_t m_nImageDelay = 1000;          // the pause in milliseconds, from lang.ini
    std::array<std::wstring, lang::key::kMessageCount> m_strMessages;
    std::array<std::wstring, lang::key::kControlCount> m_strControlTexts;
    std::string m_strMappingName;           // the device's first mapping entry (ASCII, from the toolkit)
    uint32_t m_dwOperationId = 0;           // the running operation; 0 = none
    CBitmap m_bmpBackground;                // the picture in the header frame
    std::string m_strDevicePath;            // the selected device's interface path (ASCII)
    bool m_bFilesLoaded = false;            // a firmware file of the set has been opened
    uint32_t m_hCurrentImage = 0;           // the slot image now being written
    std::array<uint32_t, 3> m_hImages{};    // the loaded firmware image slots
    uint32_t m_hWorkImage = 0;              // the copy of the current image for the write phase
    HICON m_hIcon = nullptr;                // icon 128
    StdfuDeviceDescriptor m_DeviceDesc{};
    StdfuDfuFunctionalDescriptor m_DfuDesc{};
    StdfuMapping* m_pMapping = nullptr;     // the selected device's memory mapping
    uint32_t m_nMappingCount = 0;
    std::wstring m_strDuration;             // IDC_DURATION
    CTextProgressCtrl m_ctrlProgress;       // IDC_PROGRESS
    std::wstring m_strTransferred;          // IDC_SIZE
    CButton m_btnUpgrade;                   // IDC_UPGRADE
    std::wstring m_strTitleName;            // IDC_TITLE_NAME
    std::wstring m_strStatus;               // IDC_TITLE_MESSAGE, the status line

    // Where detection finds interfaces and which notifications reach the window: the system's
    // unless the program runs on a simulated bus. Set before the dialog is created.
    device::InterfaceSource* m_pInterfaces = &device::SystemInterfaces();
    bool m_bDetectionPending = false;       // a detection waits for the held operation to end
    int64_t m_tUpdateStart = 0;             // calendar time in seconds when "Upgrade" was pressed

    // Enables or disables "Upgrade". A disabled button keeps no keyboard focus, and a dialog
    // without one hears no Escape: the focus moves on to the next control first.
    void EnableUpgrade(bool enable);
    // While an update runs the keyboard focus rests on the progress bar, where Space and Return
    // press nothing: a second press of the key that started the update would otherwise reach
    // Quit. Escape still reaches the dialog from there. Once the update has ended the focus goes
    // back to the first enabled button. Called as an update starts and once it has ended (after
    // the detection that follows); nothing moves while the keyboard is in another window.
    void PlaceFocus();

    // Text members change by the dialog's convention: the controls' texts into the members, the
    // change, then the members back into the controls.
    template <class Change>
    void ChangeTexts(Change change) {
        UpdateData(true);
        change();
        UpdateData(false);
    }

    // Hooks of the other folders.
    void LoadLanguageFile();   // lang/: does not return when lang.ini is missing
    void DetectDevice();       // device/: put off while an operation is held
    void LoadFirmwareFiles();  // device/
    void ResetUpgradeState();  // device/: releases the image slots
    // device/: runs the detection put off during the update; called when the update has ended
    // (no operation held, no pause between images pending).
    void RunPendingDetection();

    // update/: the upgrade.
    // Launches the erase phase of m_hCurrentImage, filtered for mapping entry k.
    void LaunchImage(int k);
    // The toolkit's account of an operation that could not be launched or failed, in a box.
    void ShowOperationReport(const StdfuOperationContext& ctx);
    // Ends the operation the dialog holds, if any, ends a pause between images, and releases the
    // image the operation was given (the write phase is given the work copy itself). `last`, when
    // given, receives the operation's last record; it keeps what it held when the toolkit no
    // longer knew the operation.
    void StopHeldOperation(StdfuOperationContext* last = nullptr);
    // The progress bar as a phase starts and after a reset: empty, showing its own percentage.
    void ResetProgressBar();

    // Message handlers, in the order of the message map.
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnBnClickedQuit();
    void OnBnClickedUpgrade();
    // Return with the focus on no button: this dialog has no OK button, so nothing happens.
    void OnOK() {}
    void OnClose();
    void OnTimer(UINT_PTR nIDEvent);
    void OnDestroy();
    BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);
    // The same painting into a caller's device context (printing, tests).
    void OnPrintClient(HDC hDC);

    static const MessageEntry messageEntries[];
    static const MessageMap messageMap;
    const MessageMap& GetMessageMap() const override { return messageMap; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

private:
    // The icon centred in the client area when minimised, else the picture centred in the header
    // frame (when it was loaded).
    void PaintContent(CDC& dc);
};
