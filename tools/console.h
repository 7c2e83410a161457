// Where a device command's words go: standard output and standard error, or strings in tests.
// Every call writes its text at once, under one lock, so lines of several workers never mix.
#pragma once

#include <functional>
#include <mutex>
#include <string_view>

namespace vqzdfu {

class Console {
public:
    using Sink = std::function<void(std::string_view)>;
    // terminal: standard error redraws a line in place (progress bars instead of lines).
    Console(Sink out, Sink err, bool terminal);
    // The process's standard output and error.
    static Console& Standard();

    void Out(std::string_view text);
    void Err(std::string_view text);
    bool terminal() const { return terminal_; }

private:
    std::mutex mutex_;
    Sink out_, err_;
    bool terminal_;
};

}  // namespace vqzdfu
