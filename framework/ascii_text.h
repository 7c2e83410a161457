// The toolkit's and the report's texts are ASCII: as wide text each byte is one character.
#pragma once

#include <string>
#include <string_view>

inline std::wstring AsciiToWide(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }
