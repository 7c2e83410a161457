// Errors as values: a message that gains context on its way up, and the boundary's error code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace dfu {

class Error {
public:
    explicit Error(std::string message, uint32_t code = 0x1234500A /* unexpected */)
        : message_(std::move(message)), code_(code) {}

    const std::string& message() const { return message_; }
    // The boundary's STDFU_ERR_* code that this error maps to.
    uint32_t code() const { return code_; }

    // "cannot set address 0x08004000: device stalled"
    Error context(std::string_view what) const {
        return Error(std::string(what) + ": " + message_, code_);
    }

private:
    std::string message_;
    uint32_t code_;
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::move(value)) {}
    Result(Error error) : v_(std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    const Error& error() const { return std::get<1>(v_); }

private:
    std::variant<T, Error> v_;
};

// Result of an action with no value.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return *error_; }

private:
    std::optional<Error> error_;
};

using Status = Result<void>;

}  // namespace dfu
