#include "update/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace update {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line + "\n");
    return lines;
}

// A context as a running write phase leaves it: every line of the report is present.
StdfuOperationContext WriteContext() {
    StdfuOperationContext context{};
    context.errorCode = STDFU_ERR_DFU;
    context.operation = STDFU_OP_UPGRADE;
    return context;
}

// Lines of a report that has an operation line.
enum Line {
    kError,
    kOperation,
    kTransferSize,
    kState,
    kStatus,
    kRequest,
    kBlock,
    kLength,
    kPercent
};

TEST(OperationReport, ShowsEveryFieldOfAFailedWrite) {
    StdfuOperationContext context = WriteContext();
    context.wTransferSize = 2048;
    context.lastStatus.bState = 10;
    context.lastStatus.bStatus = 3;
    context.currentRequest = STDFU_RQ_DOWNLOAD;
    context.currentNBlock = 0x1A;
    context.currentLength = 0x800;
    context.percent = 37;
    EXPECT_EQ(OperationReportText(context),
              "Error Code: DFU error\n"
              "Operation: UPGRADE\n"
              "TransferSize: 2048\n"
              "DFU State: STATE_DFU_ERROR\n"
              "DFU Status: STATUS_errWRITE\n"
              "Request: Download Request. \n"
              "CurrentNBlock: 0x001A\n"
              "CurrentLength: 0x0800\n"
              "Percent: 37%\n");
}

TEST(OperationReport, ErrorLines) {
    const struct {
        uint32_t code;
        const char* line;
    } cases[] = {
        {0x12340000, "Error Code: no error (!)\n"},
        {0x12345001, "Error Code: Unable to launch operation (Thread problem)\n"},
        {0x12345007, "Error Code: DFU already running\n"},
        {0x12345008, "Error Code: Bad parameter\n"},
        {0x12345009, "Error Code: Bad state machine in firmware\n"},
        {0x1234500A, "Error Code: Unexpected error\n"},
        {0x1234500B, "Error Code: DFU error\n"},
        {0x1234500C, "Error Code: Retry error\n"},
        // Reaches the report only from a failed launch: it has no text of its own.
        {0x1234500D, "Error Code: Unknown error 0x1234500D. \n"},
        {0x12345000, "Error Code: Unknown error 0x12345000. \n"},
        {0, "Error Code: Unknown error 0x00000000. \n"},
        {0xFFFFFFFF, "Error Code: Unknown error 0xFFFFFFFF. \n"},
    };
    for (const auto& c : cases) {
        StdfuOperationContext context = WriteContext();
        context.errorCode = c.code;
        EXPECT_EQ(Lines(OperationReportText(context))[kError], c.line) << std::hex << c.code;
    }
}

TEST(OperationReport, OperationLinesAndTheirAbsence) {
    const struct {
        int32_t operation;
        const char* line;  // nullptr: no operation line, the report has eight lines
    } cases[] = {
        {0, "Operation: DETACH\n"},
        {1, "Operation: RETURN\n"},
        {2, "Operation: UPLOAD\n"},
        {3, nullptr},
        {4, "Operation: UPGRADE\n"},
        {5, nullptr},
        {-1, nullptr},
        {0x7FFFFFFF, nullptr},
    };
    for (const auto& c : cases) {
        StdfuOperationContext context = WriteContext();
        context.operation = c.operation;
        const std::vector<std::string> lines = Lines(OperationReportText(context));
        if (c.line) {
            ASSERT_EQ(lines.size(), 9u) << c.operation;
            EXPECT_EQ(lines[kOperation], c.line);
        } else {
            ASSERT_EQ(lines.size(), 8u) << c.operation;
            EXPECT_EQ(lines[kOperation], "TransferSize: 0\n") << c.operation;
        }
    }
}

TEST(OperationReport, StateLines) {
    const char* const names[] = {
        "STATE_IDLE",
        "STATE_DETACH",
        "STATE_DFU_IDLE",
        "STATE_DFU_DOWNLOAD_SYNC",
        "STATE_DFU_DOWNLOAD_BUSY",
        "STATE_DFU_DOWNLOAD_IDLE",
        "STATE_DFU_MANIFEST_SYNC",
        "STATE_DFU_MANIFEST",
        "STATE_DFU_MANIFEST_WAIT_RESET",
        "STATE_DFU_UPLOAD_IDLE",
        "STATE_DFU_ERROR",
    };
    for (uint8_t state = 0; state < std::size(names); ++state) {
        StdfuOperationContext context = WriteContext();
        context.lastStatus.bState = state;
        EXPECT_EQ(Lines(OperationReportText(context))[kState],
                  std::string("DFU State: ") + names[state] + "\n");
    }
    const struct {
        uint8_t state;
        const char* line;
    } unknown[] = {
        {11, "DFU State: (Unknown 0x0B)\n"},
        {0xFF, "DFU State: (Unknown 0xFF)\n"},
    };
    for (const auto& c : unknown) {
        StdfuOperationContext context = WriteContext();
        context.lastStatus.bState = c.state;
        EXPECT_EQ(Lines(OperationReportText(context))[kState], c.line);
    }
}

TEST(OperationReport, StatusLines) {
    const char* const names[] = {
        "STATUS_OK",         "STATUS_errTARGET",      "STATUS_errFILE",     "STATUS_errWRITE",
        "STATUS_errERASE",   "STATUS_errCHECK_ERASE", "STATUS_errPROG",     "STATUS_errVERIFY",
        "STATUS_errADDRESS", "STATUS_errNOTDONE",     "STATUS_errFIRMWARE", "STATUS_errVENDOR",
        "STATUS_errUSBR",    "STATUS_errPOR",         "STATUS_errUNKNOWN",  "STATUS_errSTALLEDPKT",
    };
    for (uint8_t status = 0; status < std::size(names); ++status) {
        StdfuOperationContext context = WriteContext();
        context.lastStatus.bStatus = status;
        EXPECT_EQ(Lines(OperationReportText(context))[kStatus],
                  std::string("DFU Status: ") + names[status] + "\n");
    }
    const struct {
        uint8_t status;
        const char* line;
    } unknown[] = {
        {16, "DFU Status: (Unknown 0x10)\n"},
        {0xFF, "DFU Status: (Unknown 0xFF)\n"},
    };
    for (const auto& c : unknown) {
        StdfuOperationContext context = WriteContext();
        context.lastStatus.bStatus = c.status;
        EXPECT_EQ(Lines(OperationReportText(context))[kStatus], c.line);
    }
}

TEST(OperationReport, RequestLines) {
    const struct {
        uint32_t request;
        const char* line;
    } cases[] = {
        {0x02000000, "Request: Getting Device Descriptor. \n"},
        {0x03000000, "Request: Getting DFU Descriptor. \n"},
        {0x04000000, "Request: Getting String Descriptor. \n"},
        {0x05000000, "Request: Getting amount of configurations. \n"},
        {0x06000000, "Request: Getting Configuration Descriptor. \n"},
        {0x07000000, "Request: Getting amount of interfaces. \n"},
        {0x08000000, "Request: Getting amount of alternates. \n"},
        {0x09000000, "Request: Getting interface Descriptor. \n"},
        {0x0A000000, "Request: Opening device. \n"},
        {0x0B000000, "Request: Closing device. \n"},
        {0x0C000000, "Request: Detach Request. \n"},
        {0x0D000000, "Request: Download Request. \n"},
        {0x0E000000, "Request: Upload Request. \n"},
        {0x0F000000, "Request: Get Status Request. \n"},
        {0x10000000, "Request: Clear Status Request. \n"},
        {0x11000000, "Request: Get State Request. \n"},
        {0x12000000, "Request: Abort Request. \n"},
        {0x13000000, "Request: Selecting target. \n"},
        {0x14000000, "Request: Awaiting UNPLUG EVENT. \n"},
        {0x15000000, "Request: Awaiting PLUG EVENT. \n"},
        {0x16000000, "Request: Identifying device after reenumeration. \n"},
        {0x00000000, "Request: (unknown 0x00000000). \n"},
        {0x01000000, "Request: (unknown 0x01000000). \n"},
        {0x17000000, "Request: (unknown 0x17000000). \n"},
        {0xFF000000, "Request: (unknown 0xFF000000). \n"},
        // Only the top byte numbers a request: with low bits set the code is not one of the table.
        {0x0D000001, "Request: (unknown 0x0D000001). \n"},
        {0x00000002, "Request: (unknown 0x00000002). \n"},
    };
    for (const auto& c : cases) {
        StdfuOperationContext context = WriteContext();
        context.currentRequest = c.request;
        EXPECT_EQ(Lines(OperationReportText(context))[kRequest], c.line) << std::hex << c.request;
    }
}

TEST(OperationReport, NumbersAreNeverCut) {
    StdfuOperationContext context = WriteContext();
    context.wTransferSize = 0xFFFF;
    context.currentNBlock = 0x12345;
    context.currentLength = 0xFFFFFFFF;
    context.percent = 100;
    const std::vector<std::string> lines = Lines(OperationReportText(context));
    EXPECT_EQ(lines[kTransferSize], "TransferSize: 65535\n");
    EXPECT_EQ(lines[kBlock], "CurrentNBlock: 0x12345\n");
    EXPECT_EQ(lines[kLength], "CurrentLength: 0xFFFFFFFF\n");
    EXPECT_EQ(lines[kPercent], "Percent: 100%\n");
}

TEST(OperationReport, FailedEraseHasEightLines) {
    StdfuOperationContext context{};
    context.errorCode = STDFU_ERR_FIRMWARE_STATE;
    context.operation = STDFU_OP_ERASE;
    context.wTransferSize = 1024;
    context.lastStatus.bState = 10;
    context.lastStatus.bStatus = 4;
    context.currentRequest = STDFU_RQ_GET_STATUS;
    context.currentNBlock = 2;
    context.currentLength = 5;
    context.percent = 12;
    EXPECT_EQ(OperationReportText(context),
              "Error Code: Bad state machine in firmware\n"
              "TransferSize: 1024\n"
              "DFU State: STATE_DFU_ERROR\n"
              "DFU Status: STATUS_errERASE\n"
              "Request: Get Status Request. \n"
              "CurrentNBlock: 0x0002\n"
              "CurrentLength: 0x0005\n"
              "Percent: 12%\n");
}

// The dialog fills a fresh context for a launch; when the launch is refused, the report shows
// that context with the launch's result as its error code.
TEST(OperationReport, RefusedLaunchOfAnErase) {
    StdfuOperationContext context{};
    context.dfuInterfaceGuid = {
        0x3FE809AB, 0xFB91, 0x4CB5, {0xA6, 0x43, 0x69, 0x67, 0x0D, 0x52, 0x36, 0x6E}};
    context.appGuid = {
        0xCB979912, 0x5029, 0x420A, {0xAE, 0xB1, 0x34, 0xFC, 0x0A, 0x7D, 0x57, 0x26}};
    context.operation = STDFU_OP_ERASE;
    context.hImage = 7;
    const char path[] = "\\\\?\\USB#VID_1234&PID_5678#0001";
    std::copy(std::begin(path), std::end(path), context.szDevLink);
    context.errorCode = STDFU_ERR_ALREADY_RUNNING;
    EXPECT_EQ(OperationReportText(context),
              "Error Code: DFU already running\n"
              "TransferSize: 0\n"
              "DFU State: STATE_IDLE\n"
              "DFU Status: STATUS_OK\n"
              "Request: (unknown 0x00000000). \n"
              "CurrentNBlock: 0x0000\n"
              "CurrentLength: 0x0000\n"
              "Percent: 0%\n");
}

}  // namespace
}  // namespace update
