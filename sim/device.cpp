#include "sim/device.h"

#include <algorithm>
#include <cstring>

#include "sim/descriptors.h"
#include "sim/flash.h"

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uint8_t kDeviceToHost = 0x80;
constexpr uint8_t kTypeMask = 0x60;
constexpr uint8_t kTypeStandard = 0x00;
constexpr uint8_t kTypeClass = 0x20;
constexpr uint8_t kRecipientMask = 0x1F;
constexpr uint8_t kRecipientInterface = 0x01;

constexpr uint8_t kGetStatus = 0;
constexpr uint8_t kGetDescriptor = 6;
constexpr uint8_t kGetConfiguration = 8;
constexpr uint8_t kSetConfiguration = 9;
constexpr uint8_t kGetInterface = 10;
constexpr uint8_t kSetInterface = 11;

constexpr uint32_t kMaxPollTimeout = 0xFFFFFF;  // bwPollTimeout has three bytes

TransferResult Stall() { return {TransferStatus::Stall, 0}; }

TransferResult Answer(std::span<uint8_t> data, uint16_t wLength, std::span<const uint8_t> bytes) {
    size_t n = std::min({bytes.size(), data.size(), size_t{wLength}});
    std::copy_n(bytes.begin(), n, data.begin());
    return {TransferStatus::Ok, n};
}

uint32_t Le32(std::span<const uint8_t> bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

}  // namespace

// A command or data block accepted by DNLOAD; it takes effect at the GETSTATUS that follows.
struct Device::Pending {
    enum class Kind { SetAddress, Erase, EraseAll, Data } kind;
    uint64_t address = 0;  // may lie past 4 GiB when the block number runs off the end
    std::vector<uint8_t> bytes;
    bool fault = false;  // the status or corrupt fault strikes on this one
};

Outcome<std::shared_ptr<Device>> Device::Create(const Config& config) {
    if (config.alts.size() > 255 - kFirstAltString)
        return Failure{"too many alternate settings: " + std::to_string(config.alts.size())};
    std::shared_ptr<Device> device(new Device(config));
    for (size_t alt = 0; alt < config.alts.size(); ++alt) {
        Outcome<Layout> layout = ParseLayout(config.alts[alt].name);
        // A setting whose name does not parse has no memory, and no store is touched for it.
        Outcome<std::unique_ptr<Flash>> flash =
            layout ? Flash::Open(std::move(*layout), StorePath(config, alt)) : Flash::Open(Layout{}, {});
        if (!flash) return Failure{"alternate setting " + std::to_string(alt) + ": " + flash.error()};
        device->flashes_.push_back(std::move(*flash));
    }
    device->ResetState();
    return device;
}

Device::Device(Config config) : config_(std::move(config)) {}

Device::~Device() = default;

bool Device::attached() const {
    std::lock_guard lock(mutex_);
    return attached_;
}

void Device::SetAttached(bool attached) {
    std::lock_guard lock(mutex_);
    if (attached && !attached_) ResetState();
    attached_ = attached;
}

void Device::SetUnplugHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    unplug_handler_ = std::move(handler);
}

Activity Device::GetActivity() const {
    std::lock_guard lock(mutex_);
    return activity_;
}

std::optional<std::string> Device::UnstruckFault() const {
    std::lock_guard lock(mutex_);
    if (!config_.fault || fault_struck_) return std::nullopt;
    const FaultConfig& fault = *config_.fault;
    const bool erase = fault.phase == FaultPhase::Erase;
    std::string kind;
    switch (fault.action) {
    case FaultAction::Status: kind = "status " + std::to_string(fault.status); break;
    case FaultAction::Unplug: kind = "unplug"; break;
    case FaultAction::Corrupt: kind = "corrupt"; break;
    case FaultAction::Stall: kind = "stall"; break;
    }
    std::string line = "fault (" + std::string(erase ? "erase" : "write") + ", alt " +
                       std::to_string(fault.alt) + ", at " + std::to_string(fault.at_percent) +
                       " %, " + kind + ") never struck: ";
    if (fault_units_ == 0) return line + "the phase never began";
    // Units came but the strike did not, so the total is not 0 (a total of 0 strikes on unit 1).
    const uint64_t percent = uint64_t{fault_units_} * 100 / fault_total_;
    return line + "the phase reached " + std::to_string(percent) + " % (" +
           std::to_string(fault_units_) + " of " + std::to_string(fault_total_) +
           (erase ? " sectors)" : " blocks)");
}

std::vector<uint8_t> Device::ReadMemory(size_t alt, uint32_t address, size_t length) const {
    std::lock_guard lock(mutex_);
    if (alt >= flashes_.size()) return {};
    return flashes_[alt]->Peek(address, length).value_or(std::vector<uint8_t>{});
}

void Device::ResetState() {
    alt_ = 0;
    state_ = State::DfuIdle;
    status_ = Status::Ok;
    pointer_ = flashes_.empty() ? 0 : flashes_[0]->FirstAddress();
    pending_.reset();
    manifested_ = false;
    busy_until_ = Clock::now();
}

TransferResult Device::Control(const Setup& setup, std::span<uint8_t> buffer) {
    std::span<uint8_t> data = buffer.first(std::min(buffer.size(), size_t{setup.wLength}));
    bool unplug = false;
    TransferResult result;
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (!attached_) return {TransferStatus::Gone, 0};
        uint8_t type = setup.bmRequestType & kTypeMask;
        if (type == kTypeStandard) {
            result = Standard(setup, data);
        } else if (type == kTypeClass && (setup.bmRequestType & kRecipientMask) == kRecipientInterface &&
                   setup.wIndex == 0 && !flashes_.empty()) {
            result = ClassRequest(setup, data, unplug);
        } else {
            result = Stall();
        }
        if (unplug) {
            attached_ = false;
            handler = unplug_handler_;
        }
    }
    // The bus takes its own lock and tells its listeners; not under ours.
    if (handler) handler();
    return result;
}

TransferResult Device::Standard(const Setup& setup, std::span<uint8_t> data) {
    bool in = setup.bmRequestType & kDeviceToHost;
    uint8_t recipient = setup.bmRequestType & kRecipientMask;
    switch (setup.bRequest) {
    case kGetDescriptor: {
        if (!in) return Stall();
        uint8_t kind = static_cast<uint8_t>(setup.wValue >> 8);
        uint8_t index = static_cast<uint8_t>(setup.wValue);
        std::optional<std::vector<uint8_t>> bytes;
        if (kind == kDescriptorDevice) bytes = DeviceDescriptor(config_.device);
        else if (kind == kDescriptorConfiguration && index == 0) bytes = ConfigurationDescriptor(config_);
        else if (kind == kDescriptorString) bytes = StringDescriptor(config_, index);
        else if (kind == kDescriptorDfuFunctional) bytes = FunctionalDescriptor(config_.device);
        if (!bytes) return Stall();
        return Answer(data, setup.wLength, *bytes);
    }
    case kSetInterface:
        if (in || recipient != kRecipientInterface || setup.wIndex != 0 || setup.wValue >= flashes_.size())
            return Stall();
        alt_ = setup.wValue;
        pointer_ = flashes_[alt_]->FirstAddress();
        return {TransferStatus::Ok, 0};
    case kGetInterface: {
        if (!in || recipient != kRecipientInterface || setup.wIndex != 0) return Stall();
        const uint8_t alt = static_cast<uint8_t>(alt_);
        return Answer(data, setup.wLength, std::span(&alt, 1));
    }
    case kGetConfiguration: {
        if (!in) return Stall();
        const uint8_t configuration = 1;
        return Answer(data, setup.wLength, std::span(&configuration, 1));
    }
    case kSetConfiguration:
        return in || setup.wValue > 1 ? Stall() : TransferResult{TransferStatus::Ok, 0};
    case kGetStatus: {
        if (!in) return Stall();
        const uint8_t status[2] = {0, 0};
        return Answer(data, setup.wLength, status);
    }
    default:
        return Stall();
    }
}

TransferResult Device::Invalid() {
    // A request the state does not allow: stall, and dfuERROR until CLRSTATUS.
    state_ = State::DfuError;
    status_ = Status::ErrStalledPkt;
    pending_.reset();
    return Stall();
}

TransferResult Device::ClassRequest(const Setup& setup, std::span<uint8_t> data, bool& unplug) {
    bool in = setup.bmRequestType & kDeviceToHost;
    Clock::time_point now = Clock::now();
    // Busy and manifestation times run out on their own, between requests.
    if (state_ == State::DnBusy && now >= busy_until_) state_ = State::DnloadSync;
    if (state_ == State::Manifest && now >= busy_until_)
        state_ = (config_.device.attributes & kManifestationTolerant) ? State::ManifestSync
                                                                       : State::ManifestWaitReset;
    // Waiting for a bus reset, the device answers nothing.
    if (state_ == State::ManifestWaitReset) return {TransferStatus::Timeout, 0};

    auto request = static_cast<Request>(setup.bRequest);
    bool direction_ok = (request == Request::Upload || request == Request::GetStatus ||
                         request == Request::GetState) == in;
    if (!direction_ok || setup.bRequest > static_cast<uint8_t>(Request::Abort)) return Invalid();

    if (request == Request::GetStatus) return GetStatus(data);
    if (state_ == State::DnBusy || state_ == State::Manifest) return Invalid();

    switch (request) {
    case Request::GetState: {
        const uint8_t state = static_cast<uint8_t>(state_);
        return Answer(data, setup.wLength, std::span(&state, 1));
    }
    case Request::ClrStatus:
        if (state_ != State::DfuError) return Invalid();
        state_ = State::DfuIdle;
        status_ = Status::Ok;
        return {TransferStatus::Ok, 0};
    case Request::Abort:
        if (state_ == State::DfuError) return Invalid();
        state_ = State::DfuIdle;
        pending_.reset();
        return {TransferStatus::Ok, 0};
    case Request::Dnload: {
        size_t length = std::min(data.size(), size_t{setup.wLength});
        return Dnload(setup, std::span<const uint8_t>(data.data(), length), unplug);
    }
    case Request::Upload:
        return Upload(setup, data);
    default:
        return Invalid();
    }
}

TransferResult Device::Dnload(const Setup& setup, std::span<const uint8_t> bytes, bool& unplug) {
    if (state_ != State::DfuIdle && state_ != State::DnloadIdle) return Invalid();
    if (!(config_.device.attributes & kCanDownload)) return Invalid();
    if (bytes.empty()) {
        // Leaving DFU mode: manifestation, from either idle state as 1.1a hosts expect.
        state_ = State::ManifestSync;
        manifested_ = false;
        return {TransferStatus::Ok, 0};
    }
    if (bytes.size() > config_.device.transfer_size) return Invalid();

    auto pending = std::make_unique<Pending>();
    FaultPhase phase = FaultPhase::Write;
    uint32_t units = 1;
    if (setup.wValue == 0) {
        phase = FaultPhase::Erase;
        if (bytes.size() == 5 && bytes[0] == kCommandSetAddress) {
            pending->kind = Pending::Kind::SetAddress;
            units = 0;
        } else if (bytes.size() == 5 && bytes[0] == kCommandErase) {
            pending->kind = Pending::Kind::Erase;
        } else if (bytes.size() == 1 && bytes[0] == kCommandErase) {
            pending->kind = Pending::Kind::EraseAll;
            units = flashes_[alt_]->ErasableSectors();
        } else {
            return Invalid();
        }
        if (bytes.size() == 5) pending->address = Le32(bytes.subspan(1));
    } else if (setup.wValue == 1) {
        return Invalid();
    } else {
        pending->kind = Pending::Kind::Data;
        pending->address = pointer_ + uint64_t{setup.wValue - 2u} * config_.device.transfer_size;
        pending->bytes.assign(bytes.begin(), bytes.end());
    }

    if (units > 0 && CountFaultUnits(phase, units)) {
        switch (config_.fault->action) {
        case FaultAction::Stall:
            return Invalid();
        case FaultAction::Unplug:
            unplug = true;
            return {TransferStatus::Gone, 0};
        case FaultAction::Status:
        case FaultAction::Corrupt:
            pending->fault = true;
            break;
        }
    }
    pending_ = std::move(pending);
    state_ = State::DnloadSync;
    return {TransferStatus::Ok, bytes.size()};
}

bool Device::CountFaultUnits(FaultPhase phase, uint32_t units) {
    if (!config_.fault || fault_struck_) return false;
    const FaultConfig& fault = *config_.fault;
    if (fault.phase != phase || fault.alt != alt_) return false;
    if (fault_units_ == 0) {
        // The phase's whole work, fixed when it starts; see README.md.
        uint64_t total = fault.total;
        const Flash& flash = *flashes_[alt_];
        if (total == 0 && phase == FaultPhase::Erase) total = flash.ErasableSectors();
        if (total == 0 && phase == FaultPhase::Write) {
            uint64_t bytes = erased_bytes_ > 0 ? erased_bytes_ : flash.WritableBytes();
            total = (bytes + config_.device.transfer_size - 1) / config_.device.transfer_size;
        }
        fault_total_ = total;
        fault_strike_unit_ = static_cast<uint32_t>(
            std::max<uint64_t>(1, (uint64_t{fault.at_percent} * total + 99) / 100));
    }
    fault_units_ += units;
    if (fault_units_ < fault_strike_unit_) return false;
    fault_struck_ = true;
    return true;
}

void Device::Execute(std::chrono::steady_clock::time_point now) {
    std::unique_ptr<Pending> pending = std::move(pending_);
    Flash& flash = *flashes_[alt_];
    if (pending->fault && config_.fault->action == FaultAction::Status) {
        state_ = State::DfuError;
        status_ = static_cast<Status>(config_.fault->status);
        return;
    }
    bool corrupt = pending->fault && config_.fault->action == FaultAction::Corrupt;
    Status status = Status::Ok;
    milliseconds busy{0};
    uint32_t erased = 0;
    switch (pending->kind) {
    case Pending::Kind::SetAddress:
        pointer_ = static_cast<uint32_t>(pending->address);
        break;
    case Pending::Kind::Erase: {
        auto address = static_cast<uint32_t>(pending->address);
        status = flash.Erase(address);
        if (status != Status::Ok) break;
        const Sector& sector = *flash.SectorAt(address);
        // The corrupt fault leaves one byte of the sector unerased.
        if (corrupt) status = flash.Poke(sector.address + sector.size / 2, 0x00);
        erased = 1;
        NoteErased(sector);
        break;
    }
    case Pending::Kind::EraseAll:
        status = flash.EraseAll(erased);
        for (const Region& region : flash.layout().regions)
            for (const Sector& sector : region.sectors)
                if (sector.properties & kErasable) NoteErased(sector);
        if (status == Status::Ok && corrupt && erased > 0) {
            const Sector& sector = *flash.SectorAt(flash.FirstAddress());
            status = flash.Poke(sector.address + sector.size / 2, 0x00);
        }
        break;
    case Pending::Kind::Data:
        if (pending->address + pending->bytes.size() > 0x100000000ull) {
            status = Status::ErrAddress;
            break;
        }
        status = flash.Program(static_cast<uint32_t>(pending->address), pending->bytes);
        if (status == Status::Ok && corrupt) {
            // The corrupt fault: one byte of the block lands flipped.
            uint32_t at = static_cast<uint32_t>(pending->address + pending->bytes.size() / 2);
            status = flash.Poke(at, static_cast<uint8_t>(~pending->bytes[pending->bytes.size() / 2]));
        }
        if (status == Status::Ok) {
            busy = milliseconds(config_.timing.program_ms_per_block);
            activity_.blocks += 1;
            activity_.program_busy += busy;
        }
        break;
    }
    if (erased > 0) {
        busy = milliseconds(uint64_t{config_.timing.erase_ms_per_sector} * erased);
        activity_.erases += erased;
        activity_.erase_busy += busy;
    }
    if (status != Status::Ok) {
        state_ = State::DfuError;
        status_ = status;
        return;
    }
    state_ = State::DnBusy;
    busy_until_ = now + busy;
}

void Device::NoteErased(const Sector& sector) {
    if (!config_.fault || config_.fault->alt != alt_) return;
    if (erased_sectors_.insert(sector.address).second) erased_bytes_ += sector.size;
}

TransferResult Device::GetStatus(std::span<uint8_t> data) {
    Clock::time_point now = Clock::now();
    uint32_t poll = 0;
    if (state_ == State::DnloadSync) {
        if (pending_) {
            Execute(now);
            if (state_ == State::DnBusy)
                poll = static_cast<uint32_t>(std::chrono::ceil<milliseconds>(busy_until_ - now).count());
        } else {
            state_ = State::DnloadIdle;
        }
    } else if (state_ == State::DnBusy) {
        // Asked again before the busy time has passed: still busy, for the rest of it.
        poll = static_cast<uint32_t>(std::chrono::ceil<milliseconds>(busy_until_ - now).count());
    } else if (state_ == State::ManifestSync) {
        if (manifested_) {
            manifested_ = false;
            state_ = State::DfuIdle;
        } else {
            // Manifestation is instant in this model: there is nothing to check or move.
            manifested_ = true;
            state_ = State::Manifest;
            busy_until_ = now;
        }
    }
    poll = std::min(poll, kMaxPollTimeout);
    const uint8_t record[6] = {static_cast<uint8_t>(status_), static_cast<uint8_t>(poll),
                               static_cast<uint8_t>(poll >> 8), static_cast<uint8_t>(poll >> 16),
                               static_cast<uint8_t>(state_), 0};
    return Answer(data, 6, std::span(record));
}

TransferResult Device::Upload(const Setup& setup, std::span<uint8_t> data) {
    if (state_ != State::DfuIdle && state_ != State::UploadIdle) return Invalid();
    if (!(config_.device.attributes & kCanUpload) || setup.wLength == 0 ||
        setup.wLength > config_.device.transfer_size || setup.wValue == 1)
        return Invalid();
    std::span<uint8_t> out = data.first(std::min(data.size(), size_t{setup.wLength}));
    size_t n = 0;
    if (setup.wValue == 0) {
        // Block 0 lists the commands download block 0 understands.
        const uint8_t commands[] = {0x00, kCommandSetAddress, kCommandErase};
        n = Answer(out, setup.wLength, commands).length;
    } else {
        uint64_t address = pointer_ + uint64_t{setup.wValue - 2u} * config_.device.transfer_size;
        if (address <= 0xFFFFFFFFull) n = flashes_[alt_]->Read(static_cast<uint32_t>(address), out);
    }
    // A short frame ends the upload.
    state_ = n < setup.wLength ? State::DfuIdle : State::UploadIdle;
    return {TransferStatus::Ok, n};
}

}  // namespace sim
