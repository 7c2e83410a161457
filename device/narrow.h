// Wide text as 8-bit text in a code page: the system's ANSI code page for debug output and
// interface paths, UTF-8 for the toolkit's file paths.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace device {

inline std::string Narrow(std::wstring_view text, UINT codePage) {
    const int length = static_cast<int>(text.size());
    const int size = ::WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), length, narrow.data(), size, nullptr, nullptr);
    return narrow;
}

}  // namespace device
