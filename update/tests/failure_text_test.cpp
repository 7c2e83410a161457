#include "update/failure_text.h"

#include <gtest/gtest.h>

#include "update/report.h"

namespace {

StdfuOperationContext FailedWrite(uint32_t errorCode) {
    StdfuOperationContext ctx{};
    ctx.operation = STDFU_OP_UPGRADE;
    ctx.percent = 37;
    ctx.errorCode = errorCode;
    return ctx;
}

TEST(FailureText, AnUnsupportedFeatureGetsTheFixedTextInsteadOfTheReport) {
    EXPECT_EQ(update::FailureText(FailedWrite(STDFU_ERR_UNSUPPORTED)),
              "This feature is not supported by this firmware.");
}

TEST(FailureText, EveryOtherErrorGetsTheOperationReport) {
    for (uint32_t code : {STDFU_ERR_DFU, STDFU_ERR_UNEXPECTED, STDFU_ERR_RETRY, 0x12345099u, 0u}) {
        SCOPED_TRACE(code);
        const StdfuOperationContext ctx = FailedWrite(code);
        EXPECT_EQ(update::FailureText(ctx), update::OperationReportText(ctx));
    }
}

}  // namespace
