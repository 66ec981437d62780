#pragma once

#include <QString>

#include <utility>

namespace core {

// How the core says that something could not be done: a value, never an
// exception. `reason` is empty on success and otherwise says why, in words a
// log line can carry after a colon ("it is a directory", "No space left on
// device"). Finished log lines are built from reasons by report/lines.h only.
struct Status
{
    QString reason;

    bool ok() const { return reason.isEmpty(); }
    explicit operator bool() const { return ok(); }

    static Status success() { return {}; }
    static Status failure(QString why) { return {std::move(why)}; }
};

// A value, or the reason there is none. `value` is default-constructed on failure.
template <typename T>
struct Result
{
    T value{};
    QString reason;

    bool ok() const { return reason.isEmpty(); }
    explicit operator bool() const { return ok(); }

    static Result success(T value) { return {std::move(value), {}}; }
    static Result failure(QString why) { return {T{}, std::move(why)}; }
    Status status() const { return {reason}; }
};

} // namespace core
