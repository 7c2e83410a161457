#include "dfu/debug_output.h"

#include <atomic>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace dfu {
namespace {

std::atomic<DebugLineCapture*>& Capture() {
    static std::atomic<DebugLineCapture*> capture{nullptr};
    return capture;
}

}  // namespace

void DebugLine(std::string_view line) {
    if (DebugLineCapture* capture = Capture().load()) {
        std::lock_guard lock(capture->mutex_);
        capture->lines_.emplace_back(line);
        return;
    }
    const std::string text = std::string(line) + "\n";
#ifdef _WIN32
    ::OutputDebugStringA(text.c_str());
#else
    std::fputs(text.c_str(), stderr);
#endif
}

DebugLineCapture::DebugLineCapture() : previous_(Capture().exchange(this)) {}

DebugLineCapture::~DebugLineCapture() { Capture().store(previous_); }

std::vector<std::string> DebugLineCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

}  // namespace dfu
