// Resource IDs of the program: the main dialog's template, its controls and pictures. Plain
// #defines, as the resource compiler reads this file too.
#pragma once

// winuser.h names an obsolete cursor IDC_SIZE; the control of that name wins here, so windows.h
// comes first and the cursor's name is dropped.
#include <windows.h>
#undef IDC_SIZE

#define IDD_VQZ_DOWNLOADER_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_BACKGROUND 135

#define IDC_UPGRADE 1006
#define IDC_QUIT 1007
#define IDC_PROGRESS 1009
#define IDC_TITLE_NAME 1014
#define IDC_TITLE_MESSAGE 1015
#define IDC_HEADER_FRAME 1018
#define IDC_UPGRADE_INFO 1022
#define IDC_DURATION_FRAME 1023
#define IDC_SIZE_FRAME 1024
#define IDC_DURATION 1040
#define IDC_SIZE 1042
