// How long work on devices shows its progress: on a terminal a bar per phase (phase, percent,
// bytes, rate, time left), redrawn in place, one line per device; otherwise one line on standard
// error each 10 %; with --json, one JSON object per 10 % on standard output instead.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tools/console.h"

namespace vqzdfu {

class ProgressDisplay {
public:
    // devices: their paths, in the order the index of each call below names them.
    ProgressDisplay(Console& console, bool json, std::vector<std::string> devices);

    // A phase ("erase", "write", "read") of a device begins on one alternate setting; bytes is
    // what it works through.
    void Begin(size_t device, const std::string& phase, uint8_t alternate, uint64_t bytes);
    void Update(size_t device, uint8_t percent);
    // The phase has ended, at its last percent; a failed one says so where its progress shows.
    void End(size_t device, bool ok);

private:
    struct Phase {
        std::string name;
        uint8_t alternate = 0;
        uint64_t bytes = 0;
        uint8_t percent = 0;
        int shownStep = -1;  // the last tenth shown as a line or a JSON object
        bool active = false;
        bool failed = false;
        std::chrono::steady_clock::time_point start, drawn;
    };

    std::string Text(const Phase& phase, bool bar) const;
    void Show(size_t device, bool ended);
    void DrawBlock();

    Console& console_;
    const bool json_;
    const std::vector<std::string> devices_;
    std::mutex mutex_;
    std::vector<Phase> phases_;
    bool blockDrawn_ = false;
};

}  // namespace vqzdfu
