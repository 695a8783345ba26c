#pragma once
// The one way an operation that can fail reports it: a value, or a failure with a code and a
// text the user can read. The caller decides how to show it (a box, a status line, stderr).
// Codes are the operation's own (a communication error code, an errno, a file status); 0 is
// never a failure.

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace vm {

struct Failure {
    int code = -1;
    std::string text;
};

template <typename T = void>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(Failure failure) : state_(std::move(failure)) { assert(std::get<Failure>(state_).code != 0); }

    bool Ok() const { return state_.index() == 0; }
    explicit operator bool() const { return Ok(); }

    const T& Value() const& { return std::get<T>(state_); }
    T& Value() & { return std::get<T>(state_); }
    T&& Value() && { return std::get<T>(std::move(state_)); }

    int Code() const { return Ok() ? 0 : std::get<Failure>(state_).code; }
    const std::string& Text() const { return Ok() ? kNone : std::get<Failure>(state_).text; }
    Failure Why() const { return Ok() ? Failure{0, {}} : std::get<Failure>(state_); }

private:
    static inline const std::string kNone;
    std::variant<T, Failure> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) { assert(failure_.code != 0); }

    bool Ok() const { return failure_.code == 0; }
    explicit operator bool() const { return Ok(); }

    int Code() const { return failure_.code; }
    const std::string& Text() const { return failure_.text; }
    Failure Why() const { return failure_; }

private:
    Failure failure_{0, {}};
};

}  // namespace vm
