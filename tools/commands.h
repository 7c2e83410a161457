// vqzdfu's commands. Each takes the words after its name and returns the exit status. Device
// commands: 0 done, 1 a device failed, 2 bad usage, no device or several, a refused file, or work the
// device's memory cannot take (found before anything is erased).
#pragma once

#include <string>
#include <vector>

#include "tools/console.h"

namespace vqzdfu {

inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// pack and info (their exit status: 0 done, 1 a file refused or not read or written, 2 usage).
int Pack(const std::vector<std::string>& args);
int Info(const std::vector<std::string>& args);

int List(const std::vector<std::string>& args, Console& console);
int Flash(const std::vector<std::string>& args, Console& console);
int Read(const std::vector<std::string>& args, Console& console);

// "vqzdfu: MESSAGE" and the hint to --help, on standard error; returns kExitUsage.
int UsageError(Console& console, const std::string& message);

// The value of "--simulate=FILE", or false when arg is not that option.
bool SimulateOption(const std::string& arg, std::vector<std::string>& files);

}  // namespace vqzdfu
