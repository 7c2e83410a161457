// vqzsim-gadget: serves one simulated DFU device (a simulation file) as a real USB device through
// configfs and FunctionFS, so that any host on the machine's USB stack can talk to it.
//
//   vqzsim-gadget --config FILE [--udc NAME] [--name NAME]
//
// Prints "ready UDC" once bound; SIGTERM or SIGINT unbinds, removes the gadget and exits 0.
// Errors (the file, configfs, FunctionFS, the UDC, permissions): one line, exit 2.
#include <linux/usb/functionfs.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/config.h"
#include "sim/device.h"
#include "tools/gadget/configfs_gadget.h"
#include "tools/gadget/setting_map.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long the device stays away after its unplug fault, as a person would take to plug it back.
constexpr std::chrono::milliseconds kReplugDelay{1000};

// USB 2.0, 9.4: the standard requests FunctionFS answers itself and the device model must still
// hear of, addressed to interface 0.
constexpr sim::Setup kGetInterface{0x81, 10, 0, 0, 1};
sim::Setup SetInterface(size_t alt) { return {0x01, 11, static_cast<uint16_t>(alt), 0, 0}; }

struct Options {
    std::string config, udc, name = "vqzsim";
};

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string* target = arg == "--config" ? &options.config
                              : arg == "--udc"  ? &options.udc
                              : arg == "--name" ? &options.name
                                                : nullptr;
        if (!target || i + 1 >= argc) return std::nullopt;
        *target = argv[++i];
    }
    if (options.config.empty() || options.name.empty() || options.name.find('/') != std::string::npos)
        return std::nullopt;
    return options;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "vqzsim-gadget: %s\n", message.c_str());
    return 2;
}

class Server {
public:
    Server(std::shared_ptr<sim::Device> device, gadget::SettingMap map, gadget::ConfigfsGadget& usb,
           std::string udc)
        : device_(std::move(device)), map_(std::move(map)), usb_(usb), udc_(std::move(udc)) {}

    // Serves until `stop` is set by SIGTERM or SIGINT, which only `wait_mask` lets through;
    // false when binding fails.
    bool Run(const sigset_t& wait_mask, volatile sig_atomic_t& stop) {
        const sim::DeviceConfig& config = device_->config().device;
        device_->SetAttached(config.present);
        if (config.present) {
            if (!Plug()) return false;
        } else if (config.plug_after_ms > 0) {
            plug_at_ = Clock::now() + std::chrono::milliseconds(config.plug_after_ms);
        }
        while (!stop) {
            timespec wait{}, *timeout = nullptr;
            if (plug_at_) {
                auto left = std::max(Clock::duration::zero(), *plug_at_ - Clock::now());
                auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
                wait = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
                timeout = &wait;
            }
            pollfd fd{usb_.ep0(), POLLIN, 0};
            int ready = ppoll(&fd, 1, timeout, &wait_mask);
            if (ready < 0 && errno != EINTR) {
                Report(std::string("waiting for ep0: ") + std::strerror(errno));
                return false;
            }
            if (plug_at_ && Clock::now() >= *plug_at_) {
                plug_at_.reset();
                device_->SetAttached(true);
                if (!Plug()) return false;
            }
            if (ready > 0) ReadEvents();
        }
        return true;
    }

private:
    bool Plug() {
        sim::Outcome<bool> bound = usb_.Bind(udc_);
        if (!bound) {
            Report(bound.error());
            return false;
        }
        if (announced_) {
            Report("plugged in again on " + udc_);
        } else {
            std::printf("ready %s\n", udc_.c_str());
            std::fflush(stdout);
            announced_ = true;
        }
        return true;
    }

    static void Report(const std::string& what) { std::fprintf(stderr, "vqzsim-gadget: %s\n", what.c_str()); }

    // The data or status stage of the setup just read, or, against the request's direction, its
    // stall. Failures need no handling here: the host gone or the setup superseded both show in
    // the next events.
    void Ep0Write(std::span<const uint8_t> bytes) { (void)!write(usb_.ep0(), bytes.data(), bytes.size()); }
    void Ep0Read(std::span<uint8_t> bytes) { (void)!read(usb_.ep0(), bytes.data(), bytes.size()); }

    void ReadEvents() {
        usb_functionfs_event events[4];
        ssize_t got = read(usb_.ep0(), events, sizeof events);
        // EIDRM: a setup superseded by the next one before we read it.
        if (got < 0) {
            if (errno != EINTR && errno != EAGAIN && errno != EIDRM)
                Report(std::string("reading ep0 events: ") + std::strerror(errno));
            return;
        }
        for (size_t i = 0; i < static_cast<size_t>(got) / sizeof events[0]; ++i) {
            if (events[i].type == FUNCTIONFS_SETUP) Answer(events[i].u.setup);
            // A bus reset or a new configuration: the device starts afresh, as after a replug,
            // which is what a device waiting for a reset after manifestation needs.
            if (events[i].type == FUNCTIONFS_DISABLE && device_->attached()) {
                device_->SetAttached(false);
                device_->SetAttached(true);
            }
        }
    }

    // The setting a 1.1a command's address belongs to becomes the selected one, since FunctionFS
    // keeps SET_INTERFACE to itself.
    void Follow(const sim::Setup& setup, std::span<const uint8_t> data) {
        std::optional<uint32_t> address = gadget::CommandAddress(setup, data);
        if (!address) return;
        std::optional<size_t> setting = map_.SettingAt(*address);
        if (!setting) return;
        uint8_t selected = 0;
        if (device_->Control(kGetInterface, std::span(&selected, 1)).status != sim::TransferStatus::Ok) return;
        if (selected != *setting) device_->Control(SetInterface(*setting), {});
    }

    void Answer(const usb_ctrlrequest& request) {
        sim::Setup setup{request.bRequestType, request.bRequest, le16toh(request.wValue), le16toh(request.wIndex),
                         le16toh(request.wLength)};
        const bool in = setup.bmRequestType & 0x80;
        std::vector<uint8_t> data(setup.wLength);
        if (!in && setup.wLength > 0) {
            // The data stage; reading it also completes the host's transfer, so a refusal of these
            // bytes can no longer be a stall: the device's status says it at the next GETSTATUS.
            ssize_t got = read(usb_.ep0(), data.data(), data.size());
            if (got < 0) return;
            data.resize(static_cast<size_t>(got));
            Follow(setup, data);
        }
        sim::TransferResult result = device_->Control(setup, data);
        switch (result.status) {
        case sim::TransferStatus::Ok:
            if (in) Ep0Write(std::span(data).first(result.length));
            else if (setup.wLength == 0) Ep0Read({});
            break;
        case sim::TransferStatus::Stall:
            // I/O against the request's direction makes FunctionFS stall ep0.
            if (in) Ep0Read({});
            else if (setup.wLength == 0) Ep0Write({});
            break;
        case sim::TransferStatus::Gone:
            // The unplug fault: a real disconnect, and the device back after a while.
            Report("unplugged by the fault");
            usb_.Unbind();
            plug_at_ = Clock::now() + kReplugDelay;
            break;
        case sim::TransferStatus::Timeout:
            break;  // no answer at all: the host's transfer times out
        }
    }

    std::shared_ptr<sim::Device> device_;
    gadget::SettingMap map_;
    gadget::ConfigfsGadget& usb_;
    std::string udc_;
    std::optional<Clock::time_point> plug_at_;
    bool announced_ = false;
};

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

}  // namespace

int main(int argc, char** argv) {
    std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) return Fail("usage: vqzsim-gadget --config FILE [--udc NAME] [--name NAME]");

    sim::Outcome<sim::Config> config = sim::LoadConfig(options->config);
    if (!config) return Fail(config.error());
    sim::Outcome<gadget::SettingMap> map = gadget::SettingMap::FromConfig(*config);
    if (!map) return Fail(options->config + ": " + map.error());
    sim::Outcome<std::string> udc = gadget::FindUdc(options->udc);
    if (!udc) return Fail(udc.error());
    sim::Outcome<std::shared_ptr<sim::Device>> device = sim::Device::Create(*config);
    if (!device) return Fail(device.error());

    // The signals are held back except while waiting for ep0, so no request is cut half-way.
    sigset_t blocked, wait_mask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &wait_mask);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    sim::Outcome<std::unique_ptr<gadget::ConfigfsGadget>> usb = gadget::ConfigfsGadget::Create(options->name, *config);
    if (!usb) return Fail(usb.error());
    Server server(*device, std::move(*map), **usb, *udc);
    bool served = server.Run(wait_mask, g_stop);
    if (std::optional<std::string> unstruck = (*device)->UnstruckFault())
        std::fprintf(stderr, "vqzsim-gadget: %s\n", unstruck->c_str());
    return served ? 0 : 2;
}
