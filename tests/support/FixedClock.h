#pragma once

#include "Clock.h"

namespace mandel::testing {

// A clock that always shows the moment it was given.
class FixedClock final : public Clock {
public:
    explicit FixedClock(LocalDateTime moment) : moment_(moment) {}
    LocalDateTime now() const override { return moment_; }
    void set(LocalDateTime moment) { moment_ = moment; }

private:
    LocalDateTime moment_;
};

} // namespace mandel::testing
