#include "device/interface_path.h"

#include <cstdio>

#include "dfu/ascii_case.h"

namespace device {

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

std::string UpperCasePath(std::string_view path) { return dfu::AsciiUpper(path); }

bool SameInterfacePath(std::string_view a, std::string_view b) {
    return dfu::EqualIgnoringAsciiCase(a, b);
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

}  // namespace device
