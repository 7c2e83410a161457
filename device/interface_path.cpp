#include "device/interface_path.h"

#include <algorithm>
#include <cstdio>

namespace device {
namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string GuidText(const StdfuGuid& guid) {
    // Copies: the record is packed, so its fields are read by value.
    const unsigned long data1 = guid.Data1;
    const unsigned data2 = guid.Data2;
    const unsigned data3 = guid.Data3;
    const uint8_t* d = guid.Data4;
    char text[39];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1,
                  data2, data3, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
    return text;
}

std::string UpperCasePath(std::string_view path) {
    std::string upper(path);
    std::transform(upper.begin(), upper.end(), upper.begin(), AsciiUpper);
    return upper;
}

bool SameInterfacePath(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

bool PathEndsWithClass(std::string_view path, const StdfuGuid& interfaceClass) {
    const std::string classText = GuidText(interfaceClass);
    if (path.size() > classText.size()) path.remove_prefix(path.size() - classText.size());
    return SameInterfacePath(path, classText);
}

DfuVersion CheckDfuVersion(uint16_t bcdDfuVersion) {
    if (bcdDfuVersion >= 0x011A && bcdDfuVersion <= 0x011F) return DfuVersion::Accepted;
    if (bcdDfuVersion == 0) return DfuVersion::IgnoredSilently;
    return DfuVersion::Refused;
}

std::wstring ExecutableFolder(std::wstring_view modulePath) {
    const std::size_t slash = modulePath.rfind(L'\\');
    if (slash == std::wstring_view::npos) return {};
    return std::wstring(modulePath.substr(0, slash));
}

std::wstring BesideExecutable(std::wstring_view folder, std::wstring_view fileName) {
    std::wstring path(folder);
    path += L'\\';
    path += fileName;
    return path;
}

}  // namespace device
