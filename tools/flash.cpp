// vqzdfu flash FILE... [--device SEL | --all] [--alt N] [--no-verify] [--json]: every target of
// every file written to its alternate setting by the updater's engine, on one device or on every
// device present at once (a worker each).
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "dfu/dfu_file.h"
#include "dfu/filter.h"
#include "dfu/operation.h"
#include "dfu/target.h"
#include "tools/commands.h"
#include "tools/devices.h"
#include "tools/json.h"
#include "tools/numbers.h"
#include "tools/progress_display.h"
#include "tools/simulation.h"

namespace vqzdfu {

namespace {

struct Options {
    std::vector<std::string> files;
    std::optional<std::string> device;
    bool all = false;
    std::optional<uint8_t> alternate;
    bool verify = true;
    bool json = false;
    std::vector<std::string> simulate;
};

struct Source {
    std::string file;
    size_t target = 0;  // its index in the file
    dfu::Image image;
};

// One image made ready for one device: its two filtered copies.
struct Planned {
    std::string what;  // "FILE target K"
    std::shared_ptr<const dfu::Image> erase, write;
};

struct Outcome {
    enum Kind { Done, Refused, Failed } kind = Done;
    std::string message;
    size_t images = 0;
    uint64_t bytes = 0;
    bool verified = false;
};

// The request the operation was making, named as the protocol names it.
std::string_view StepName(dfu::Step step) {
    switch (step) {
        case dfu::Step::None: return "none";
        case dfu::Step::ReadDescriptors: return "GET_DESCRIPTOR";
        case dfu::Step::SelectTarget: return "SET_INTERFACE";
        case dfu::Step::Dnload: return dfu::RequestName(dfu::Request::Dnload);
        case dfu::Step::Upload: return dfu::RequestName(dfu::Request::Upload);
        case dfu::Step::GetStatus: return dfu::RequestName(dfu::Request::GetStatus);
        case dfu::Step::ClrStatus: return dfu::RequestName(dfu::Request::ClrStatus);
        case dfu::Step::Abort: return dfu::RequestName(dfu::Request::Abort);
    }
    return "unknown";
}

// What failed, with the device's last status, its state and the request in words.
std::string FailureText(const std::string& what, const dfu::Progress& p) {
    std::string text = what + ": " + (p.error ? p.error->message() : "the phase did not end");
    text += " (";
    // How the transfer failed, when the stack said: the device's status may be older than that.
    if (p.error && (p.error->kind() == dfu::ErrorKind::Stall ||
                    p.error->kind() == dfu::ErrorKind::Timeout ||
                    p.error->kind() == dfu::ErrorKind::Gone))
        text += "transfer error: " + std::string(dfu::ErrorKindName(p.error->kind())) + "; ";
    text += "DFU status " + std::string(dfu::StatusCodeName(dfu::StatusCode(p.lastStatus.status))) +
            ", state " + std::string(dfu::StateName(dfu::State(p.lastStatus.state))) +
            ", request " + std::string(StepName(p.step));
    if (p.step == dfu::Step::Dnload || p.step == dfu::Step::Upload)
        text += " block " + std::to_string(p.block);
    return text + ")";
}

// One phase on the device, to its end, its progress shown as it goes.
dfu::Status RunPhase(const std::string& path, dfu::Phase phase,
                     const std::shared_ptr<const dfu::Image>& image, const Options& options,
                     const std::string& what, ProgressDisplay& display, size_t index) {
    uint64_t bytes = 0;
    if (phase == dfu::Phase::Erase)
        for (const dfu::Sector& s : image->placement->sectors) bytes += s.size;
    else
        bytes = image->size();
    display.Begin(index, phase == dfu::Phase::Erase ? "erase" : "write",
                  image->placement->alternate, bytes);
    auto transport = dfu::OpenTransport(path);
    if (!transport) {
        display.End(index, false);
        return transport.error().context(what + ": cannot open the device");
    }

    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    auto started = dfu::Operation::Start(
        phase, image, std::move(*transport),
        [&] {
            std::lock_guard lock(mutex);
            finished = true;
            ended.notify_all();
        },
        options.verify ? dfu::ReadBack::Compare : dfu::ReadBack::Skip);
    if (!started) {
        display.End(index, false);
        return started.error().context(what);
    }
    dfu::Operation& operation = **started;
    for (;;) {
        bool done = false;
        {
            std::unique_lock lock(mutex);
            done = ended.wait_for(lock, std::chrono::milliseconds(100), [&] { return finished; });
        }
        if (done) break;
        display.Update(index, operation.progress().percent);
    }
    // The worker's last act follows its call of onFinished: joining it gives the final progress.
    operation.Stop();
    const dfu::Progress p = operation.progress();
    const bool ok = !p.error && p.percent == 100;
    display.Update(index, p.percent);
    display.End(index, ok);
    if (!ok) return dfu::Error(FailureText(what, p));
    return {};
}

Outcome FlashDevice(const Found& found, const std::vector<Source>& sources, const Options& options,
                    ProgressDisplay& display, size_t index) {
    if (!found.info) return {Outcome::Failed, "cannot read the device: " + found.info.error().message()};
    auto transport = dfu::OpenTransport(found.path);
    if (!transport) return {Outcome::Failed, "cannot open the device: " + transport.error().message()};
    auto targets = dfu::ReadTargets(**transport);
    transport->reset();
    if (!targets) return {Outcome::Failed, "cannot read the memory maps: " + targets.error().message()};

    // Every image is checked against the memory before any sector is erased.
    Outcome outcome;
    outcome.verified = options.verify && found.info->functional.canUpload();
    std::vector<Planned> plan;
    for (const Source& s : sources) {
        const uint8_t alt = options.alternate.value_or(s.image.alternate);
        const std::string what = s.file + " target " + std::to_string(s.target) + " (alt " +
                                 std::to_string(alt) + ")";
        const dfu::Target* target = nullptr;
        for (const dfu::Target& t : *targets)
            if (t.alternate == alt) target = &t;
        if (!target)
            return {Outcome::Refused, what + ": the device has no alternate setting " + std::to_string(alt)};
        if (auto fits = dfu::CheckImageFits(s.image, alt, target->map.sectors); !fits)
            return {Outcome::Refused, what + ": " + fits.error().message()};
        auto erase = dfu::FilterImage(s.image, alt, target->map.sectors, dfu::Phase::Erase);
        auto write = dfu::FilterImage(s.image, alt, target->map.sectors, dfu::Phase::Write);
        if (!erase || !write)
            return {Outcome::Refused, what + ": " + (erase ? write : erase).error().message()};
        for (const dfu::Sector& sector : write->placement->sectors)
            if (!sector.readable()) outcome.verified = false;
        outcome.bytes += write->size();
        plan.push_back({what, std::make_shared<dfu::Image>(std::move(*erase)),
                        std::make_shared<dfu::Image>(std::move(*write))});
    }
    for (const Planned& p : plan) {
        for (const auto& [phase, image] : {std::pair{dfu::Phase::Erase, p.erase}, std::pair{dfu::Phase::Write, p.write}}) {
            const std::string what = std::string(phase == dfu::Phase::Erase ? "erase" : "write") + " of " + p.what;
            if (auto done = RunPhase(found.path, phase, image, options, what, display, index); !done)
                return {Outcome::Failed, done.error().message()};
        }
        ++outcome.images;
    }
    return outcome;
}

std::string ResultLine(const std::string& path, const Outcome& o, bool json) {
    static constexpr const char* kKinds[] = {"ok", "refused", "failed"};
    if (json) {
        JsonObject line;
        line.Add("device", path).Add("result", kKinds[o.kind]);
        if (o.kind == Outcome::Done)
            line.Add("images", uint64_t(o.images)).Add("bytes", o.bytes).Flag("verified", o.verified);
        else
            line.Add("message", o.message);
        return line.Line();
    }
    if (o.kind != Outcome::Done) return path + ": " + kKinds[o.kind] + ": " + o.message + "\n";
    return path + ": ok: " + std::to_string(o.images) + " image(s), " + std::to_string(o.bytes) +
           " bytes written" + (o.verified ? " and verified" : ", not read back") + "\n";
}

// Words that end the command before any device is touched: on standard error, and as a result
// object for --json.
int Refuse(Console& console, const Options& options, const std::string& message) {
    console.Err("vqzdfu: " + message + "\n");
    if (options.json)
        console.Out(JsonObject().Add("result", "refused").Add("message", message).Line());
    return kExitUsage;
}

}  // namespace

int Flash(const std::vector<std::string>& args, Console& console) {
    Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--device") {
            if (i + 1 == args.size()) return UsageError(console, "--device needs SEL");
            options.device = args[++i];
        } else if (arg == "--alt") {
            uint64_t alt = 0;
            if (i + 1 == args.size() || !ParseNumber(args[i + 1], 255, alt))
                return UsageError(console, "--alt needs an alternate setting 0..255");
            options.alternate = uint8_t(alt);
            ++i;
        } else if (arg == "--all") {
            options.all = true;
        } else if (arg == "--no-verify") {
            options.verify = false;
        } else if (arg == "--json") {
            options.json = true;
        } else if (SimulateOption(arg, options.simulate)) {
        } else if (arg.starts_with("-") && arg != "-") {
            return UsageError(console, "flash: unknown option '" + arg + "'");
        } else {
            options.files.push_back(arg);
        }
    }
    if (options.files.empty()) return UsageError(console, "flash needs at least one FILE");
    if (options.all && options.device) return UsageError(console, "--device and --all exclude each other");

    std::vector<Source> sources;
    for (const std::string& file : options.files) {
        auto read = dfu::ReadDfuFile(file);
        if (!read) return Refuse(console, options, file + ": refused: " + read.error().message());
        for (size_t t = 0; t < read->images.size(); ++t)
            sources.push_back({file, t, std::move(read->images[t])});
    }

    return WithSimulation(options.simulate, console, [&] {
        auto chosen = ChooseDevices(options.device, options.all);
        if (!chosen) return Refuse(console, options, chosen.error().message());
        std::vector<std::string> paths;
        for (const Found& f : *chosen) paths.push_back(f.path);
        ProgressDisplay display(console, options.json, paths);

        std::vector<Outcome> outcomes(chosen->size());
        std::vector<std::thread> workers;
        for (size_t i = 0; i < chosen->size(); ++i) {
            try {
                workers.emplace_back([&, i] {
                    outcomes[i] = FlashDevice((*chosen)[i], sources, options, display, i);
                });
            } catch (const std::system_error& e) {
                outcomes[i] = {Outcome::Failed, std::string("cannot start its worker: ") + e.what()};
            }
        }
        for (std::thread& worker : workers) worker.join();

        bool failed = false, refused = false;
        for (size_t i = 0; i < outcomes.size(); ++i) {
            console.Out(ResultLine(paths[i], outcomes[i], options.json));
            failed |= outcomes[i].kind == Outcome::Failed;
            refused |= outcomes[i].kind == Outcome::Refused;
        }
        return failed ? kExitFailed : refused ? kExitUsage : 0;
    });
}

}  // namespace vqzdfu
