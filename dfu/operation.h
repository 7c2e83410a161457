// One phase of an update (erase or write) run on a worker thread, with its progress readable at
// any time from another thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "dfu/device.h"
#include "dfu/image.h"
#include "dfu/protocol.h"
#include "dfu/result.h"
#include "dfu/transport.h"

namespace dfu {

// What the operation is doing, as the report names it.
enum class Step : uint8_t {
    None,
    ReadDescriptors,
    SelectTarget,
    Dnload,
    Upload,
    GetStatus,
    ClrStatus,
    Abort,
};

// Whether the write phase ends by reading the written bytes back and comparing them (where the
// device can upload and the sectors are readable), or trusts the device's statuses alone.
enum class ReadBack : uint8_t { Compare, Skip };

struct Progress {
    uint8_t percent = 0;  // 100 only once the phase is done
    uint16_t transferSize = 0;
    StatusRecord lastStatus;  // the device's last GETSTATUS answer, or errVERIFY on a mismatch
    Step step = Step::None;
    uint32_t block = 0;   // block number of the last DNLOAD or UPLOAD
    uint32_t length = 0;  // its length
    std::optional<Error> error;
    bool finished = false;
};

class Operation {
public:
    // Starts the phase on its own thread. The image is read only; the transport is the
    // operation's and is released when the phase ends. onFinished runs on the worker thread
    // after that, as its last act. readBack matters to the write phase only.
    static Result<std::unique_ptr<Operation>> Start(Phase phase, std::shared_ptr<const Image> image,
                                                    std::unique_ptr<Transport> transport,
                                                    std::function<void()> onFinished = {},
                                                    ReadBack readBack = ReadBack::Compare);
    ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    Progress progress() const;
    // Ends the phase, done or not: waits are cut short, the request in flight completes.
    void Stop();

private:
    Operation(Phase phase, std::shared_ptr<const Image> image, std::unique_ptr<Transport> transport,
              std::function<void()> onFinished, ReadBack readBack);
    void Run();
    bool RunPhase();
    Status ToIdle(Dfu& dfu);
    Status Erase(Dfu& dfu);
    Status Write(Dfu& dfu, const FunctionalDescriptor& functional);
    Status Verify(Dfu& dfu, uint32_t address, std::span<const uint8_t> expected, uint16_t xfer,
                  const std::function<bool(size_t)>& onRead);
    void Fail(Dfu* dfu, const Error& error);

    bool Cancelled() const;
    bool SleepUntil(std::chrono::steady_clock::time_point deadline);
    void Update(const std::function<void(Progress&)>& change);
    void SetPercent(uint64_t done, uint64_t total);

    const Phase phase_;
    const ReadBack readBack_;
    const std::shared_ptr<const Image> image_;
    std::unique_ptr<Transport> transport_;
    std::function<void()> onFinished_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool cancelled_ = false;
    Progress progress_;
    // Set by a read-back mismatch: the status the report shows. Worker thread only.
    std::optional<StatusRecord> verifyFailure_;

    std::thread thread_;
};

}  // namespace dfu
