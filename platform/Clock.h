#pragma once

#include <string>

namespace mandel {

// A moment of the local calendar and clock.
struct LocalDateTime {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;    // 1-31
    int hour = 0;   // 0-23
    int minute = 0;
    int second = 0;
};

// The local clock, behind an interface so that tests can fix the time.
class Clock {
public:
    virtual ~Clock() = default;
    // The current local date and time.
    virtual LocalDateTime now() const = 0;

    // Ten characters "MM-DD-YYYY" for the current date.
    std::string dateText() const;
    // Eight characters "HH:MM:SS" (hours 00-23) for the current time.
    std::string timeText() const;
};

// The system's local clock.
class SystemClock final : public Clock {
public:
    LocalDateTime now() const override;
};

} // namespace mandel
