// Lines for whoever watches the toolkit at work: what it refused or left undone, and why, where
// the result codes alone cannot tell. They go to the debugger output on Windows and to standard
// error elsewhere.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace dfu {

// One line; the line feed is added. Any thread may write.
void DebugLine(std::string_view line);

// While one lives, the lines written are kept by it instead (tests read them).
class DebugLineCapture {
public:
    DebugLineCapture();
    ~DebugLineCapture();
    DebugLineCapture(const DebugLineCapture&) = delete;
    DebugLineCapture& operator=(const DebugLineCapture&) = delete;

    std::vector<std::string> lines() const;

private:
    friend void DebugLine(std::string_view line);
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    DebugLineCapture* previous_;
};

}  // namespace dfu
