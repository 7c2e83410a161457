#include "dfu/protocol.h"

#include <deque>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace dfu {
namespace {

// Every value of each vocabulary has its own name, and a value outside it reads "unknown".
template <class Enum, class NameOf>
void ExpectAllNamed(int count, NameOf nameOf) {
    std::set<std::string_view> seen;
    for (int v = 0; v < count; ++v) {
        std::string_view name = nameOf(Enum(v));
        EXPECT_NE(name, "unknown") << "value " << v;
        EXPECT_TRUE(seen.insert(name).second) << "value " << v << " shares the name " << name;
    }
    EXPECT_EQ(nameOf(Enum(count)), "unknown");
}

TEST(Vocabulary, EveryValueHasItsName) {
    ExpectAllNamed<Request>(kRequestCount, RequestName);
    ExpectAllNamed<State>(kStateCount, StateName);
    ExpectAllNamed<StatusCode>(kStatusCodeCount, StatusCodeName);
}

TEST(Vocabulary, NamesAreThoseOfTheClassSpecification) {
    EXPECT_EQ(RequestName(Request::Dnload), "DNLOAD");
    EXPECT_EQ(StateName(State::DfuDnbusy), "dfuDNBUSY");
    EXPECT_EQ(StatusCodeName(StatusCode::ErrVerify), "errVERIFY");
    EXPECT_EQ(Describe(StatusRecord{3, 0, 10, 0}), "errWRITE in dfuERROR");
}

TEST(StatusRecordTest, PollTimeoutIsTwentyFourBitsLittleEndian) {
    const std::array<uint8_t, 6> wire{0x00, 0x34, 0x12, 0xAB, 0x04, 0x07};
    StatusRecord r = StatusRecord::FromBytes(wire);
    EXPECT_EQ(r.pollTimeoutMs, 0xAB1234u);
    EXPECT_EQ(r.state, 4);
    EXPECT_EQ(r.iString, 7);
    EXPECT_EQ(r.bytes(), wire);
}

// A transport that answers from a script and notes when each request came.
class ScriptedTransport : public Transport {
public:
    struct Answer {
        std::vector<uint8_t> bytes;
        bool fail = false;
    };
    std::deque<Answer> script;
    std::vector<Setup> requests;

    Result<size_t> Control(const Setup& setup, std::span<uint8_t> data,
                           std::chrono::milliseconds) override {
        requests.push_back(setup);
        if (script.empty()) return Error("unscripted request");
        Answer a = script.front();
        script.pop_front();
        if (a.fail) return Error("device stalled the request", ErrorKind::Stall);
        std::copy(a.bytes.begin(), a.bytes.end(), data.begin());
        return a.bytes.size();
    }
    Status SelectAlternate(uint8_t, uint8_t) override { return {}; }
};

std::vector<uint8_t> StatusBytes(uint8_t status, uint32_t poll, uint8_t state) {
    auto b = StatusRecord{status, poll, state, 0}.bytes();
    return {b.begin(), b.end()};
}

TEST(WaitWhileBusy, WaitsEachAskedTimeoutFromTheAnswer) {
    ScriptedTransport t;
    t.script = {{StatusBytes(0, 30, 4)}, {StatusBytes(0, 7, 4)}, {StatusBytes(0, 99, 5)}};
    Dfu dfu(t, 0);
    std::vector<std::chrono::steady_clock::duration> waits;
    auto result = dfu.WaitWhileBusy([&](auto deadline) {
        waits.push_back(deadline - std::chrono::steady_clock::now());
        return true;
    });
    ASSERT_TRUE(result.ok()) << result.error().message();
    EXPECT_EQ(result->state, uint8_t(State::DfuDnloadIdle));
    // The idle answer's timeout is not waited: nothing follows it.
    ASSERT_EQ(waits.size(), 2u);
    EXPECT_GT(waits[0], std::chrono::milliseconds(25));
    EXPECT_LE(waits[0], std::chrono::milliseconds(30));
    EXPECT_GT(waits[1], std::chrono::milliseconds(2));
    EXPECT_LE(waits[1], std::chrono::milliseconds(7));
}

TEST(WaitWhileBusy, EndsOnDeviceErrorCancelAndOverlongWait) {
    struct Case {
        const char* what;
        std::vector<uint8_t> answer;
        bool letSleep;
        ErrorKind kind;
    };
    const Case cases[] = {
        {"error status", StatusBytes(3, 0, 10), true, ErrorKind::DeviceStatus},
        {"cancelled", StatusBytes(0, 5, 4), false, ErrorKind::Other},
        {"beyond the bound", StatusBytes(0, 0xFFFFFF, 4), true, ErrorKind::Other},
    };
    for (const Case& c : cases) {
        ScriptedTransport t;
        t.script = {{c.answer}};
        Dfu dfu(t, 0);
        auto result = dfu.WaitWhileBusy([&](auto) { return c.letSleep; });
        ASSERT_FALSE(result.ok()) << c.what;
        EXPECT_EQ(result.error().kind(), c.kind) << c.what;
    }
}

TEST(ToIdle, ClearsAnErrorWaitsOutABusyCommandAndAbortsOtherStates) {
    ScriptedTransport t;
    t.script = {{StatusBytes(3, 0, 10)}, {{}}, {StatusBytes(0, 20, 4)},
                {StatusBytes(0, 0, 5)},  {{}}, {StatusBytes(0, 0, 2)}};
    Dfu dfu(t, 1);
    auto result = dfu.ToIdle([](auto) { return true; });
    ASSERT_TRUE(result.ok()) << result.error().message();
    std::vector<uint8_t> sent;
    for (const dfu::Setup& s : t.requests) {
        sent.push_back(s.bRequest);
        EXPECT_EQ(s.wIndex, 1) << "requests go to the DFU interface";
    }
    // GETSTATUS, CLRSTATUS, GETSTATUS (busy: no ABORT), GETSTATUS, ABORT, GETSTATUS.
    EXPECT_EQ(sent, (std::vector<uint8_t>{3, 4, 3, 3, 6, 3}));
}

TEST(ToIdle, ApplicationModeIsAWrongStateError) {
    ScriptedTransport t;
    t.script = {{StatusBytes(0, 0, 0)}};
    Dfu dfu(t, 0);
    auto result = dfu.ToIdle([](auto) { return true; });
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind(), ErrorKind::WrongState);
}

}  // namespace
}  // namespace dfu
