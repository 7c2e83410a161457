// The boundary's handles: opaque nonzero 32-bit values that name objects the toolkit keeps.
// Every handle alive is counted, so tests can check that an update leaves none behind.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace stdfu {

// Handles of all kinds come from one sequence, so a handle of one kind is never taken for another.
uint32_t NextHandle();
std::atomic<uint32_t>& LiveHandles();

template <class T>
class HandleTable {
public:
    uint32_t Add(std::shared_ptr<T> object) {
        std::lock_guard lock(mutex_);
        uint32_t handle = NextHandle();
        items_.emplace(handle, std::move(object));
        ++LiveHandles();
        return handle;
    }

    // Null for 0, a dead handle or a handle of another kind.
    std::shared_ptr<T> Get(uint32_t handle) const {
        std::lock_guard lock(mutex_);
        auto it = items_.find(handle);
        return it == items_.end() ? nullptr : it->second;
    }

    // Puts a new object under a live handle; false when the handle is not alive. Whoever holds
    // the old object keeps it unchanged.
    bool Replace(uint32_t handle, std::shared_ptr<T> object) {
        std::lock_guard lock(mutex_);
        auto it = items_.find(handle);
        if (it == items_.end()) return false;
        it->second = std::move(object);
        return true;
    }

    // Removes the handle; null when it was not alive, so releasing twice is harmless.
    std::shared_ptr<T> Take(uint32_t handle) {
        std::lock_guard lock(mutex_);
        auto it = items_.find(handle);
        if (it == items_.end()) return nullptr;
        auto object = std::move(it->second);
        items_.erase(it);
        --LiveHandles();
        return object;
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<uint32_t, std::shared_ptr<T>> items_;
};

}  // namespace stdfu
