#include "dfu/operation.h"

#include <algorithm>
#include <system_error>

#ifdef __linux__
#include <sys/prctl.h>
#endif
#ifdef _WIN32
#include <windows.h>
#include <timeapi.h>
#endif

#include "dfu/debug_output.h"
#include "dfu/device.h"
#include "dfu/dfu11a.h"
#include "dfu/hex.h"

namespace dfu {

namespace {

Step StepOf(Request request) {
    switch (request) {
        case Request::Dnload: return Step::Dnload;
        case Request::Upload: return Step::Upload;
        case Request::GetStatus: return Step::GetStatus;
        case Request::ClrStatus: return Step::ClrStatus;
        case Request::Abort: return Step::Abort;
        case Request::Detach:
        case Request::GetState: break;
    }
    return Step::None;
}

struct Range {
    uint32_t address;
    std::span<const uint8_t> bytes;
};

// The parts of the written bytes that lie in readable sectors: what the read-back checks.
std::vector<Range> ReadableRanges(const Image& image) {
    std::vector<Range> ranges;
    for (const Element& e : image.elements) {
        const uint64_t begin = e.address, end = begin + e.data.size();
        for (const Sector& s : image.placement->sectors) {
            if (!s.readable()) continue;
            const uint64_t from = std::max<uint64_t>(begin, s.address);
            const uint64_t to = std::min<uint64_t>(end, s.end());
            if (from >= to) continue;
            const auto bytes = std::span(e.data).subspan(size_t(from - begin), size_t(to - from));
            // Neighbouring sectors of one element make one range.
            if (!ranges.empty() &&
                ranges.back().bytes.data() + ranges.back().bytes.size() == bytes.data())
                ranges.back().bytes = std::span(ranges.back().bytes.data(),
                                                ranges.back().bytes.size() + bytes.size());
            else
                ranges.push_back({uint32_t(from), bytes});
        }
    }
    return ranges;
}

}  // namespace

Result<std::unique_ptr<Operation>> Operation::Start(Phase phase, std::shared_ptr<const Image> image,
                                                    std::unique_ptr<Transport> transport,
                                                    std::function<void()> onFinished,
                                                    ReadBack readBack) {
    if (!image || !image->placement || image->placement->phase != phase)
        return Error("the image is not prepared for this phase", ErrorKind::BadParameter);
    if (!transport) return Error("no device");
    std::unique_ptr<Operation> op(
        new Operation(phase, std::move(image), std::move(transport), std::move(onFinished), readBack));
    try {
        op->thread_ = std::thread([raw = op.get()] { raw->Run(); });
    } catch (const std::system_error& e) {
        return Error(std::string("cannot start the operation thread: ") + e.what(),
                     ErrorKind::Thread);
    }
    return op;
}

Operation::Operation(Phase phase, std::shared_ptr<const Image> image,
                     std::unique_ptr<Transport> transport, std::function<void()> onFinished,
                     ReadBack readBack)
    : phase_(phase),
      readBack_(readBack),
      image_(std::move(image)),
      transport_(std::move(transport)),
      onFinished_(std::move(onFinished)) {}

Operation::~Operation() {
    Stop();
}

Progress Operation::progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

void Operation::Stop() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool Operation::Cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool Operation::SleepUntil(std::chrono::steady_clock::time_point deadline) {
    // A sleeping thread wakes a little late; the last stretch is spent yielding instead, so the
    // next request goes out when the device asked, not a scheduler tick after.
    constexpr auto kWakeMargin = std::chrono::microseconds(200);
    {
        std::unique_lock lock(mutex_);
        if (wake_.wait_until(lock, deadline - kWakeMargin, [this] { return cancelled_; })) return false;
    }
    while (std::chrono::steady_clock::now() < deadline) {
        if (Cancelled()) return false;
        std::this_thread::yield();
    }
    return true;
}

void Operation::Update(const std::function<void(Progress&)>& change) {
    std::lock_guard lock(mutex_);
    change(progress_);
}

void Operation::SetPercent(uint64_t done, uint64_t total) {
    // 100 is kept for the end of the phase.
    const uint8_t percent = total == 0 ? 0 : uint8_t(std::min<uint64_t>(99, done * 100 / total));
    Update([&](Progress& p) { p.percent = percent; });
}

void Operation::Run() {
    // The waits are a few milliseconds each, hundreds of them: the default timer slack
    // (50 us on Linux, a 15.6 ms tick on Windows) would stretch a write.
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL);
#endif
#ifdef _WIN32
    timeBeginPeriod(1);
#endif
    const bool ok = RunPhase();
#ifdef _WIN32
    timeEndPeriod(1);
#endif
    transport_.reset();
    // The device is free before anyone can see the phase end.
    if (onFinished_) onFinished_();
    Update([ok](Progress& p) {
        if (ok) p.percent = 100;
        p.finished = true;
    });
}

bool Operation::RunPhase() {
    Update([](Progress& p) { p.step = Step::ReadDescriptors; });
    auto iface = ReadDfuInterface(*transport_);
    if (!iface) {
        Fail(nullptr, iface.error());
        return false;
    }
    Update([&](Progress& p) { p.transferSize = iface->functional.wTransferSize; });

    Dfu dfu(*transport_, iface->number);
    dfu.onRequest = [this](Request request, uint16_t value, size_t length) {
        Update([&](Progress& p) {
            p.step = StepOf(request);
            if (request == Request::Dnload || request == Request::Upload) {
                p.block = value;
                p.length = uint32_t(length);
            }
        });
    };
    dfu.onStatus = [this](const StatusRecord& record) {
        Update([&](Progress& p) { p.lastStatus = record; });
    };

    Update([](Progress& p) { p.step = Step::SelectTarget; });
    Status done = SelectAlternate(*transport_, *iface, image_->placement->alternate);
    if (done) done = ToIdle(dfu);
    if (done) done = phase_ == Phase::Erase ? Erase(dfu) : Write(dfu, iface->functional);
    // Leave the device ready for the next phase.
    if (done) done = ToIdle(dfu);
    if (!done) Fail(&dfu, done.error());
    return done.ok();
}

Status Operation::ToIdle(Dfu& dfu) {
    auto idle = dfu.ToIdle([this](auto deadline) { return SleepUntil(deadline); });
    if (!idle) return idle.error().context("cannot bring the device to dfuIDLE");
    return {};
}

Status Operation::Erase(Dfu& dfu) {
    const auto& sectors = image_->placement->sectors;
    const auto sleep = [this](auto deadline) { return SleepUntil(deadline); };
    for (size_t i = 0; i < sectors.size(); ++i) {
        if (Cancelled()) return Error("stopped");
        if (auto erased = dfu11a::EraseSector(dfu, sectors[i].address, sleep); !erased)
            return erased;
        SetPercent(i + 1, sectors.size());
    }
    return {};
}

Status Operation::Write(Dfu& dfu, const FunctionalDescriptor& functional) {
    const uint32_t xfer = functional.wTransferSize;
    const auto sleep = [this](auto deadline) { return SleepUntil(deadline); };
    const std::vector<Range> readBack = readBack_ == ReadBack::Compare && functional.canUpload()
                                            ? ReadableRanges(*image_)
                                            : std::vector<Range>{};
    // The phase still ends at 100 %: whoever watches should know the image was not read back.
    if (readBack_ == ReadBack::Compare && !functional.canUpload())
        DebugLine("not verified: the device cannot upload");
    uint64_t total = image_->size(), done = 0;
    for (const Range& r : readBack) total += r.bytes.size();

    // The pointer is set only where the next block would not land by itself.
    bool pointerSet = false;
    uint64_t pointer = 0;
    uint32_t block = dfu11a::kFirstDataBlock;
    for (const Element& e : image_->elements) {
        for (size_t offset = 0; offset < e.data.size(); offset += xfer) {
            if (Cancelled()) return Error("stopped");
            const uint64_t address = uint64_t(e.address) + offset;
            const auto chunk =
                std::span(e.data).subspan(offset, std::min<size_t>(xfer, e.data.size() - offset));
            if (!pointerSet || block > 0xFFFF ||
                address != pointer + uint64_t(block - dfu11a::kFirstDataBlock) * xfer) {
                if (auto set = dfu11a::SetAddressPointer(dfu, uint32_t(address), sleep); !set)
                    return set;
                pointerSet = true;
                pointer = address;
                block = dfu11a::kFirstDataBlock;
            }
            if (auto sent = dfu.Dnload(uint16_t(block), chunk); !sent)
                return sent.error().context("cannot write " + HexAddress(address));
            if (auto status = dfu.WaitWhileBusy(sleep); !status)
                return status.error().context("cannot write " + HexAddress(address));
            ++block;
            done += chunk.size();
            SetPercent(done, total);
        }
    }

    for (const Range& r : readBack) {
        const auto onRead = [&](size_t read) {
            SetPercent(done + read, total);
            return !Cancelled();
        };
        if (auto checked = Verify(dfu, r.address, r.bytes, uint16_t(xfer), onRead); !checked)
            return checked;
        done += r.bytes.size();
    }
    return {};
}

Status Operation::Verify(Dfu& dfu, uint32_t address, std::span<const uint8_t> expected,
                         uint16_t xfer, const std::function<bool(size_t)>& onRead) {
    const auto sleep = [this](auto deadline) { return SleepUntil(deadline); };
    std::vector<uint8_t> got(expected.size());
    if (auto read = dfu11a::Upload(dfu, address, got, xfer, sleep, onRead); !read)
        return read.error().context("cannot read back");
    const auto mismatch = std::mismatch(got.begin(), got.end(), expected.begin());
    if (mismatch.first != got.end()) {
        const uint64_t bad = uint64_t(address) + uint64_t(mismatch.first - got.begin());
        StatusRecord failure;
        failure.status = uint8_t(StatusCode::ErrVerify);
        failure.state = uint8_t(State::DfuUploadIdle);
        verifyFailure_ = failure;
        return Error("read-back differs at " + HexAddress(bad), ErrorKind::Verify);
    }
    return {};
}

void Operation::Fail(Dfu* dfu, const Error& error) {
    // A stopped operation reports no error, and leaves the device as it is: the next phase
    // brings it to dfuIDLE anyway, and a stop must not wait on the device.
    if (Cancelled()) return;

    std::optional<StatusRecord> shown = verifyFailure_;
    const ErrorKind kind = error.kind();
    // A device that is gone, or does not answer, is not asked again.
    if (dfu && kind != ErrorKind::Gone && kind != ErrorKind::Timeout) {
        dfu->onRequest = nullptr;
        dfu->onStatus = nullptr;
        // A stalled request leaves the device in dfuERROR with the reason in its status
        // (USB DFU 1.1, section 6.1.2): that is what the report shows.
        if (kind == ErrorKind::Stall) {
            if (auto now = dfu->GetStatus(); now && !now->ok()) shown = *now;
        }
        // Ready for another attempt.
        (void)ToIdle(*dfu);
    }
    Update([&](Progress& p) {
        if (shown) p.lastStatus = *shown;
        p.error = error;
    });
}

}  // namespace dfu
