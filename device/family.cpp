#include "device/family.h"

#include <algorithm>
#include <iterator>

#include "dfu/ascii_case.h"

namespace device {
namespace {

bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::string_view TrimWhiteSpace(std::string_view text) {
    while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
    return text;
}

std::string MappingName(const StdfuMapping& entry) {
    const char* const end = std::find(std::begin(entry.szName), std::end(entry.szName), '\0');
    return std::string(TrimWhiteSpace(std::string_view(entry.szName, end - entry.szName)));
}

std::optional<std::wstring_view> MainFirmwareFile(std::string_view mappingName) {
    if (dfu::EqualIgnoringAsciiCase(mappingName, "Velmarquist")) return L"prog.dfu";
    if (dfu::EqualIgnoringAsciiCase(mappingName, "Velmarquist2")) return L"prog2.dfu";
    return std::nullopt;
}

std::optional<std::array<std::wstring_view, 3>> FirmwareFiles(std::string_view mappingName) {
    const std::optional<std::wstring_view> main = MainFirmwareFile(mappingName);
    if (!main) return std::nullopt;
    return std::array<std::wstring_view, 3>{*main, L"Dunorfile.dfu", L"file3.dfu"};
}

}  // namespace device
