#include "tools/progress_display.h"

#include <cstdio>

#include "tools/json.h"

namespace vqzdfu {

namespace {

using Clock = std::chrono::steady_clock;

// A redrawn bar this often at most, unless its percent moved.
constexpr auto kRedraw = std::chrono::milliseconds(200);
constexpr int kBarWidth = 20;

std::string Format(const char* format, double a, double b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// "80.0/160.0 KiB" in the unit of the total.
std::string Amount(uint64_t done, uint64_t total) {
    if (total < 1024) return std::to_string(done) + "/" + std::to_string(total) + " B";
    const bool mib = total >= 10u << 20;
    const double unit = mib ? 1024.0 * 1024.0 : 1024.0;
    return Format(mib ? "%.1f/%.1f MiB" : "%.1f/%.1f KiB", double(done) / unit,
                  double(total) / unit);
}

std::string Rate(double bytesPerSecond) {
    if (bytesPerSecond >= 1024.0 * 1024.0)
        return Format("%.1f MiB/s", bytesPerSecond / (1024.0 * 1024.0));
    return Format("%.1f KiB/s", bytesPerSecond / 1024.0);
}

std::string Minutes(double seconds) {
    const auto whole = uint64_t(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(whole / 60),
                  static_cast<unsigned long long>(whole % 60));
    return text;
}

}  // namespace

ProgressDisplay::ProgressDisplay(Console& console, bool json, std::vector<std::string> devices)
    : console_(console), json_(json), devices_(std::move(devices)), phases_(devices_.size()) {}

void ProgressDisplay::Begin(size_t device, const std::string& phase, uint8_t alternate,
                            uint64_t bytes) {
    std::lock_guard lock(mutex_);
    Phase& p = phases_[device];
    p = Phase{phase, alternate, bytes, 0, -1, true, false, Clock::now(), {}};
    Show(device, false);
}

void ProgressDisplay::Update(size_t device, uint8_t percent) {
    std::lock_guard lock(mutex_);
    Phase& p = phases_[device];
    if (!p.active) return;
    const bool moved = percent != p.percent;
    p.percent = percent;
    if (moved || Clock::now() - p.drawn >= kRedraw) Show(device, false);
}

void ProgressDisplay::End(size_t device, bool ok) {
    std::lock_guard lock(mutex_);
    if (!phases_[device].active) return;
    phases_[device].failed = !ok;
    // A failed phase gets its line whatever tenth it reached.
    if (!ok) phases_[device].shownStep = -1;
    Show(device, true);
    phases_[device].active = false;
}

std::string ProgressDisplay::Text(const Phase& p, bool bar) const {
    const uint64_t done = p.bytes * p.percent / 100;
    const double seconds = std::chrono::duration<double>(Clock::now() - p.start).count();
    std::string text = p.name + " alt " + std::to_string(p.alternate);
    if (bar) {
        const int filled = p.percent * kBarWidth / 100;
        text += " [" + std::string(size_t(filled), '#') + std::string(size_t(kBarWidth - filled), '-') + "]";
        text += Format(" %3.0f%%", p.percent);
    } else {
        text += Format(": %.0f%%", p.percent);
    }
    text += (bar ? "  " : ", ") + Amount(done, p.bytes);
    if (p.failed) return text + (bar ? "  " : ", ") + "failed";
    if (seconds >= 0.2 && done > 0) {
        text += (bar ? "  " : ", ") + Rate(double(done) / seconds);
        if (p.percent < 100)
            text += (bar ? "  " : ", ") + Minutes(seconds * (100 - p.percent) / p.percent) + " left";
        else
            text += (bar ? "  " : ", ") + Minutes(seconds) + " taken";
    }
    return text;
}

void ProgressDisplay::Show(size_t device, bool ended) {
    Phase& p = phases_[device];
    p.drawn = Clock::now();
    const int step = p.percent / 10;
    if (json_ || !console_.terminal()) {
        // Lines: at the start, then at each tenth reached.
        if (step == p.shownStep) return;
        p.shownStep = step;
        if (json_) {
            JsonObject line;
            line.Add("device", devices_[device])
                .Add("phase", p.name)
                .Add("alt", uint64_t(p.alternate))
                .Add("percent", uint64_t(p.percent))
                .Add("bytes", p.bytes * p.percent / 100)
                .Add("total", p.bytes);
            if (p.failed) line.Flag("failed", true);
            console_.Out(line.Line());
        } else {
            console_.Err(devices_[device] + ": " + Text(p, false) + "\n");
        }
        return;
    }
    if (devices_.size() == 1) {
        console_.Err("\r\x1b[2K" + Text(p, true) + (ended ? "\n" : ""));
        return;
    }
    DrawBlock();
}

void ProgressDisplay::DrawBlock() {
    std::string text;
    if (!blockDrawn_) {
        for (size_t i = 0; i < devices_.size(); ++i)
            text += "#" + std::to_string(i + 1) + " " + devices_[i] + "\n";
        text += std::string(devices_.size(), '\n');
        blockDrawn_ = true;
    }
    // Back to the first bar, then every bar again.
    text += "\x1b[" + std::to_string(devices_.size()) + "F";
    for (size_t i = 0; i < devices_.size(); ++i) {
        text += "\x1b[2K#" + std::to_string(i + 1);
        if (!phases_[i].name.empty()) text += " " + Text(phases_[i], true);
        text += "\n";
    }
    console_.Err(text);
}

}  // namespace vqzdfu
