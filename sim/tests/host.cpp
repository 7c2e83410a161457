#include "sim/tests/host.h"

#include <atomic>
#include <thread>

namespace sim::test {

namespace {

constexpr uint8_t kOut = 0x21;
constexpr uint8_t kIn = 0xA1;

uint8_t R(Request request) { return static_cast<uint8_t>(request); }

}  // namespace

TransferStatus Host::Dnload(uint16_t block, std::vector<uint8_t> bytes) {
    Setup setup{kOut, R(Request::Dnload), block, 0, static_cast<uint16_t>(bytes.size())};
    return device_->Control(setup, bytes).status;
}

TransferResult Host::Upload(uint16_t block, std::span<uint8_t> out) {
    Setup setup{kIn, R(Request::Upload), block, 0, static_cast<uint16_t>(out.size())};
    return device_->Control(setup, out);
}

StatusRecord Host::GetStatus() {
    uint8_t record[6] = {};
    TransferResult result = device_->Control({kIn, R(Request::GetStatus), 0, 0, 6}, record);
    if (result.status != TransferStatus::Ok || result.length != 6)
        return {result.status, Status::ErrUnknown, 0, State::AppIdle};
    return {result.status, static_cast<Status>(record[0]),
            uint32_t{record[1]} | uint32_t{record[2]} << 8 | uint32_t{record[3]} << 16,
            static_cast<State>(record[4])};
}

State Host::GetState() {
    uint8_t state = 0xEE;
    device_->Control({kIn, R(Request::GetState), 0, 0, 1}, std::span(&state, 1));
    return static_cast<State>(state);
}

TransferStatus Host::ClrStatus() { return device_->Control({kOut, R(Request::ClrStatus), 0, 0, 0}, {}).status; }
TransferStatus Host::Abort() { return device_->Control({kOut, R(Request::Abort), 0, 0, 0}, {}).status; }
TransferStatus Host::Detach() { return device_->Control({kOut, R(Request::Detach), 1000, 0, 0}, {}).status; }

TransferStatus Host::SetInterface(uint16_t alt) {
    return device_->Control({0x01, 11, alt, 0, 0}, {}).status;
}

std::vector<uint8_t> Host::Descriptor(uint8_t type, uint8_t index, uint16_t length) {
    std::vector<uint8_t> bytes(length);
    TransferResult result = device_->Control(
        {0x80, 6, static_cast<uint16_t>(type << 8 | index), static_cast<uint16_t>(index == 0 ? 0 : 0x0409), length},
        bytes);
    if (result.status != TransferStatus::Ok) return {};
    bytes.resize(result.length);
    return bytes;
}

StatusRecord Host::Run(uint16_t block, std::vector<uint8_t> bytes) {
    TransferStatus sent = Dnload(block, std::move(bytes));
    if (sent != TransferStatus::Ok) return {sent, Status::ErrUnknown, 0, State::AppIdle};
    StatusRecord record = GetStatus();
    while (record.transfer == TransferStatus::Ok && record.state == State::DnBusy) {
        std::this_thread::sleep_for(std::chrono::milliseconds(record.poll_ms));
        record = GetStatus();
    }
    return record;
}

StatusRecord Host::SetAddress(uint32_t address) { return Run(0, Le32(kCommandSetAddress, address)); }
StatusRecord Host::Erase(uint32_t address) { return Run(0, Le32(kCommandErase, address)); }
StatusRecord Host::EraseAll() { return Run(0, {kCommandErase}); }

StatusRecord Host::Write(uint32_t address, const std::vector<uint8_t>& bytes) {
    StatusRecord record = SetAddress(address);
    size_t size = device_->config().device.transfer_size;
    for (size_t offset = 0; offset < bytes.size() && record.state == State::DnloadIdle; offset += size) {
        size_t n = std::min(size, bytes.size() - offset);
        record = Run(static_cast<uint16_t>(2 + offset / size),
                     std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                                          bytes.begin() + static_cast<std::ptrdiff_t>(offset + n)));
    }
    return record;
}

std::vector<uint8_t> Host::Read(uint32_t address, size_t length) {
    if (SetAddress(address).state != State::DnloadIdle || Abort() != TransferStatus::Ok) return {};
    size_t size = device_->config().device.transfer_size;
    std::vector<uint8_t> bytes;
    for (uint16_t block = 2; bytes.size() < length; ++block) {
        std::vector<uint8_t> frame(std::min(size, length - bytes.size()));
        TransferResult result = Upload(block, frame);
        if (result.status != TransferStatus::Ok) break;
        bytes.insert(bytes.end(), frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(result.length));
        if (result.length < frame.size()) break;
    }
    Abort();
    return bytes;
}

std::vector<uint8_t> Le32(uint8_t command, uint32_t address) {
    return {command, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
            static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 24)};
}

std::vector<uint8_t> Pattern(size_t length, uint8_t seed) {
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return bytes;
}

Config QuickConfig(std::filesystem::path folder) {
    Config config;
    config.timing = {0, 0};
    config.folder = std::move(folder);
    return config;
}

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("sim-test-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
             std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace sim::test
