// Text from a file or a device as a terminal should show it.
#pragma once

#include <string>
#include <string_view>

namespace vqzdfu {

// A name (of a target, of an alternate setting) as the terminal should show it: control
// characters escaped (C0 and DEL as \xHH, the UTF-8 forms of C1 as \uHHHH), and the backslash and
// the quote, so a name from a file or a device cannot drive the terminal and reads back
// unambiguously.
std::string Printable(std::string_view text);

}  // namespace vqzdfu
