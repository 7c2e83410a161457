// Errors as values: a message that gains context on its way up, and the kind of failure it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace dfu {

// What failed, as far as a caller decides on it: whether to ask the device why, whether it is
// still there, which words or code to report.
enum class ErrorKind : uint8_t {
    Other,         // none of the kinds below
    BadParameter,  // an argument the toolkit cannot work with
    Thread,        // a worker thread could not be started
    WrongState,    // the device is not in DFU mode, or does not return to dfuIDLE
    DeviceStatus,  // the device reports an error status
    Verify,        // the bytes read back differ from those written
    Stall,         // the device stalled a request
    Timeout,       // the device did not answer a request in time
    Gone,          // the device is no longer there
};

// "stall", "timeout", "device gone", ...
std::string_view ErrorKindName(ErrorKind kind);

class Error {
public:
    explicit Error(std::string message, ErrorKind kind = ErrorKind::Other)
        : message_(std::move(message)), kind_(kind) {}

    const std::string& message() const { return message_; }
    ErrorKind kind() const { return kind_; }

    // "cannot set address 0x08004000: device stalled the request"
    Error context(std::string_view what) const {
        return Error(std::string(what) + ": " + message_, kind_);
    }

private:
    std::string message_;
    ErrorKind kind_;
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
