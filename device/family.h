// The device family, announced by the name of the first entry of the device's memory mapping,
// chooses the main firmware file; the two other files of the set are the same for every family.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "stdfu/stdfu.h"

namespace device {

// The text without leading and trailing white space (space, tab, line feed, vertical tab, form
// feed, carriage return).
std::string_view TrimWhiteSpace(std::string_view text);

// The area name of a mapping entry, trimmed. The name is read up to its terminating zero or the
// end of its field, whichever comes first, so an unterminated name is never read past.
std::string MappingName(const StdfuMapping& entry);

// "prog.dfu" for "Velmarquist", "prog2.dfu" for "Velmarquist2", letter case of ASCII letters
// ignored; none for any other name. The name is expected trimmed.
std::optional<std::wstring_view> MainFirmwareFile(std::string_view mappingName);

// The file of each image slot in slot order, the main file first; none for an unknown family.
std::optional<std::array<std::wstring_view, 3>> FirmwareFiles(std::string_view mappingName);

}  // namespace device
