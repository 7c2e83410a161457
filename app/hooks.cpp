// The dialog's work on the device and the update, empty until those parts arrive.
#include "app/vqz_downloaderDlg.h"

void Cvqz_downloaderDlg::DetectDevice() {}

void Cvqz_downloaderDlg::ResetUpgradeState() {}

BOOL Cvqz_downloaderDlg::OnDeviceChange(UINT, DWORD_PTR) { return TRUE; }
