// The error value a computation returns instead of its result.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace zorv {

// The Python exception class an error maps to. Computations use only
// ValueError and OSError; TypeError belongs to argument binding.
enum class ErrorKind { ValueError, OSError, TypeError };

struct CallError {
    ErrorKind kind;
    std::string message;  // UTF-8, reaches the caller unchanged
};

inline CallError value_error(std::string message) {
    return {ErrorKind::ValueError, std::move(message)};
}
inline CallError os_error(std::string message) {
    return {ErrorKind::OSError, std::move(message)};
}

// A computation's outcome: its value or one CallError.
template <class T>
class Result {
public:
    using value_type = T;
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(CallError error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const T& value() const& { return std::get<0>(state_); }
    const CallError& error() const& { return std::get<1>(state_); }
    CallError&& error() && { return std::get<1>(std::move(state_)); }

private:
    std::variant<T, CallError> state_;
};

}  // namespace zorv
