// The operation report: what the toolkit said about a failed operation, one line per field, with
// its numeric codes spelled out. Shown to the user in a message box.
#pragma once

#include <string>

#include "stdfu/stdfu.h"

namespace update {

// Up to nine lines, each ending in a line feed: error, operation (none for an erase or an unknown
// code), transfer size, DFU state, DFU status, request, block, length, percent. A value missing
// from its table is shown in hexadecimal; composing never fails.
std::string OperationReportText(const StdfuOperationContext& context);

}  // namespace update
