// The program's message box: an OK button, the exclamation icon, and the executable's file name
// without its extension as caption.
#pragma once

#include <string>
#include <string_view>

int AfxMessageBox(const std::wstring& text);

// "C:\Programs\vqz_downloader.exe" -> "vqz_downloader"
std::wstring ApplicationNameFromPath(std::wstring_view modulePath);
