#pragma once

#include <string>
#include <utility>
#include <variant>

namespace mandel {

// Why an operation failed: one line for the user, and the system's error
// number where one caused it (0 otherwise), for callers that act on it.
struct Failure {
    std::string reason;
    int code = 0;
};

// The outcome of an operation that can fail with a reason: a value, or the
// Failure that explains why there is none. Every fallible call of the
// program returns one; Status is the kind without a value.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : v_(std::in_place_index<1>, std::move(failure)) {}

    // Whether it holds a value.
    bool ok() const noexcept { return v_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    // The value; only when ok().
    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // The failure; only when !ok().
    const Failure& failure() const { return std::get<1>(v_); }
    // Its reason, for a message.
    const std::string& error() const { return failure().reason; }

private:
    std::variant<T, Failure> v_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)), ok_(false) {}

    bool ok() const noexcept { return ok_; }
    explicit operator bool() const noexcept { return ok_; }
    // The failure; only when !ok().
    const Failure& failure() const { return failure_; }
    const std::string& error() const { return failure_.reason; }

private:
    Failure failure_;
    bool ok_ = true;
};

using Status = Result<void>;

// A Failure with `reason` and an optional error number.
inline Failure fail(std::string reason, int code = 0)
{
    return {std::move(reason), code};
}

} // namespace mandel
