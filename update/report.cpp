#include "update/report.h"

#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace update {
namespace {

struct CodeText {
    uint32_t code;
    std::string_view line;
};

constexpr std::array kErrorLines{
    CodeText{STDFU_OK, "Error Code: no error (!)\n"},
    CodeText{STDFU_ERR_LAUNCH_THREAD, "Error Code: Unable to launch operation (Thread problem)\n"},
    CodeText{STDFU_ERR_ALREADY_RUNNING, "Error Code: DFU already running\n"},
    CodeText{STDFU_ERR_BAD_PARAMETER, "Error Code: Bad parameter\n"},
    CodeText{STDFU_ERR_FIRMWARE_STATE, "Error Code: Bad state machine in firmware\n"},
    CodeText{STDFU_ERR_UNEXPECTED, "Error Code: Unexpected error\n"},
    CodeText{STDFU_ERR_DFU, "Error Code: DFU error\n"},
    CodeText{STDFU_ERR_RETRY, "Error Code: Retry error\n"},
};

// An erase has no line of its own: the report of a failed erase simply names no operation.
constexpr std::array kOperationLines{
    CodeText{STDFU_OP_DETACH, "Operation: DETACH\n"},
    CodeText{STDFU_OP_RETURN, "Operation: RETURN\n"},
    CodeText{STDFU_OP_UPLOAD, "Operation: UPLOAD\n"},
    CodeText{STDFU_OP_UPGRADE, "Operation: UPGRADE\n"},
};

// Indexed by the state and status numbers of the USB DFU 1.1 class specification.
constexpr std::array<std::string_view, 11> kStateLines{
    "DFU State: STATE_IDLE\n",
    "DFU State: STATE_DETACH\n",
    "DFU State: STATE_DFU_IDLE\n",
    "DFU State: STATE_DFU_DOWNLOAD_SYNC\n",
    "DFU State: STATE_DFU_DOWNLOAD_BUSY\n",
    "DFU State: STATE_DFU_DOWNLOAD_IDLE\n",
    "DFU State: STATE_DFU_MANIFEST_SYNC\n",
    "DFU State: STATE_DFU_MANIFEST\n",
    "DFU State: STATE_DFU_MANIFEST_WAIT_RESET\n",
    "DFU State: STATE_DFU_UPLOAD_IDLE\n",
    "DFU State: STATE_DFU_ERROR\n",
};

constexpr std::array<std::string_view, 16> kStatusLines{
    "DFU Status: STATUS_OK\n",          "DFU Status: STATUS_errTARGET\n",
    "DFU Status: STATUS_errFILE\n",     "DFU Status: STATUS_errWRITE\n",
    "DFU Status: STATUS_errERASE\n",    "DFU Status: STATUS_errCHECK_ERASE\n",
    "DFU Status: STATUS_errPROG\n",     "DFU Status: STATUS_errVERIFY\n",
    "DFU Status: STATUS_errADDRESS\n",  "DFU Status: STATUS_errNOTDONE\n",
    "DFU Status: STATUS_errFIRMWARE\n", "DFU Status: STATUS_errVENDOR\n",
    "DFU Status: STATUS_errUSBR\n",     "DFU Status: STATUS_errPOR\n",
    "DFU Status: STATUS_errUNKNOWN\n",  "DFU Status: STATUS_errSTALLEDPKT\n",
};

// Requests are numbered in the top byte; 1 and the numbers past 0x16 have no text.
constexpr uint32_t kFirstNamedRequest = 0x02;
constexpr std::array<std::string_view, 21> kRequestLines{
    "Request: Getting Device Descriptor. \n",
    "Request: Getting DFU Descriptor. \n",
    "Request: Getting String Descriptor. \n",
    "Request: Getting amount of configurations. \n",
    "Request: Getting Configuration Descriptor. \n",
    "Request: Getting amount of interfaces. \n",
    "Request: Getting amount of alternates. \n",
    "Request: Getting interface Descriptor. \n",
    "Request: Opening device. \n",
    "Request: Closing device. \n",
    "Request: Detach Request. \n",
    "Request: Download Request. \n",
    "Request: Upload Request. \n",
    "Request: Get Status Request. \n",
    "Request: Clear Status Request. \n",
    "Request: Get State Request. \n",
    "Request: Abort Request. \n",
    "Request: Selecting target. \n",
    "Request: Awaiting UNPLUG EVENT. \n",
    "Request: Awaiting PLUG EVENT. \n",
    "Request: Identifying device after reenumeration. \n",
};

template <std::size_t N>
const std::string_view* Find(const std::array<CodeText, N>& table, uint32_t code) {
    for (const CodeText& row : table) {
        if (row.code == code) return &row.line;
    }
    return nullptr;
}

// Our own fixed formats only; a 32-bit value in hexadecimal or decimal fits easily.
[[gnu::format(printf, 2, 3)]] void AppendFormatted(std::string& text, const char* format, ...) {
    char buffer[96];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length > 0) text.append(buffer, static_cast<std::size_t>(length));
}

std::string_view RequestLine(uint32_t request) {
    if ((request & 0x00FFFFFFu) != 0) return {};
    const uint32_t number = request >> 24;
    if (number < kFirstNamedRequest || number - kFirstNamedRequest >= kRequestLines.size())
        return {};
    return kRequestLines[number - kFirstNamedRequest];
}

}  // namespace

std::string OperationReportText(const StdfuOperationContext& context) {
    // Copies: the record is packed, so its fields are read by value.
    const uint32_t error = context.errorCode;
    const uint32_t operation = static_cast<uint32_t>(context.operation);
    const unsigned transferSize = context.wTransferSize;
    const unsigned state = context.lastStatus.bState;
    const unsigned status = context.lastStatus.bStatus;
    const uint32_t request = context.currentRequest;
    const unsigned long block = context.currentNBlock;
    const unsigned long length = context.currentLength;
    const unsigned percent = context.percent;

    std::string text;
    if (const std::string_view* line = Find(kErrorLines, error)) {
        text += *line;
    } else {
        AppendFormatted(text, "Error Code: Unknown error 0x%08lX. \n",
                        static_cast<unsigned long>(error));
    }
    if (const std::string_view* line = Find(kOperationLines, operation)) text += *line;
    AppendFormatted(text, "TransferSize: %u\n", transferSize);
    if (state < kStateLines.size()) {
        text += kStateLines[state];
    } else {
        AppendFormatted(text, "DFU State: (Unknown 0x%02X)\n", state);
    }
    if (status < kStatusLines.size()) {
        text += kStatusLines[status];
    } else {
        AppendFormatted(text, "DFU Status: (Unknown 0x%02X)\n", status);
    }
    if (const std::string_view line = RequestLine(request); !line.empty()) {
        text += line;
    } else {
        AppendFormatted(text, "Request: (unknown 0x%08lX). \n",
                        static_cast<unsigned long>(request));
    }
    AppendFormatted(text, "CurrentNBlock: 0x%04lX\n", block);
    AppendFormatted(text, "CurrentLength: 0x%04lX\n", length);
    AppendFormatted(text, "Percent: %u%%\n", percent);
    return text;
}

}  // namespace update
