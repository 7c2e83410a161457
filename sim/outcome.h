// A value or the words saying why there is none: how sim/ returns errors without exceptions.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace sim {

struct Failure {
    std::string message;
};

template <class T>
class Outcome {
public:
    Outcome(T value) : value_(std::move(value)) {}
    Outcome(Failure failure) : error_(std::move(failure.message)) {}

    explicit operator bool() const { return value_.has_value(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    const std::string& error() const { return error_; }

private:
    std::optional<T> value_;
    std::string error_;
};

}  // namespace sim
