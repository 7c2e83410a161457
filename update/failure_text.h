// What the user is told when a running operation fails.
#pragma once

#include <string>

#include "stdfu/stdfu.h"

namespace update {

inline constexpr const char* kUnsupportedText = "This feature is not supported by this firmware.";

// kUnsupportedText for STDFU_ERR_UNSUPPORTED; the operation report for any other error.
std::string FailureText(const StdfuOperationContext& context);

}  // namespace update
