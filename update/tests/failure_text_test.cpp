#include "update/failure_text.h"

#include <gtest/gtest.h>

#include "update/report.h"
#include "update/tick.h"

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

TEST(TickReached, ComparesAcrossTheWrapOfTheTickCount) {
    struct Case {
        uint32_t now, deadline;
        bool reached;
    };
    const Case cases[] = {
        {999, 1000, false},
        {1000, 1000, true},
        {1001, 1000, true},
        // A pause that began just before the wrap ends just after it, not 49 days later.
        {0xFFFFFF00u, 0xFFFFFF00u + 1000u, false},  // the deadline wrapped to 744
        {500, 0xFFFFFF00u + 1000u, false},
        {744, 0xFFFFFF00u + 1000u, true},
        // A deadline just before the wrap is reached once the count has wrapped past it.
        {0xFFFFFFF0u, 0xFFFFFFFFu, false},
        {5, 0xFFFFFFFFu, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.now << " vs " << c.deadline);
        EXPECT_EQ(update::TickReached(c.now, c.deadline), c.reached);
    }
}

}  // namespace
