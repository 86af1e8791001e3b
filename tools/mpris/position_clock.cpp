#include "tools/mpris/position_clock.h"

#include <cmath>
#include <limits>

namespace mpris {

void PositionClock::Anchor(std::int64_t positionUs, Clock::time_point at) {
    baseUs_ = positionUs;
    baseAt_ = at;
}

void PositionClock::Jump(std::int64_t positionUs, Clock::time_point at) {
    ++generation_;
    Anchor(positionUs, at);
}

bool PositionClock::FinishRead(ReadTicket ticket, std::int64_t positionUs, Clock::time_point at) {
    if (ticket != generation_) return false;
    Anchor(positionUs, at);
    return true;
}

void PositionClock::SetRunning(bool running, Clock::time_point at) {
    if (running == running_) return;
    Anchor(PositionUs(at), at);
    running_ = running;
}

void PositionClock::SetRate(double rate, Clock::time_point at) {
    if (!std::isfinite(rate)) rate = 1.0;
    if (rate == rate_) return;
    Anchor(PositionUs(at), at);
    rate_ = rate;
}

std::int64_t PositionClock::PositionUs(Clock::time_point at) const {
    double us = static_cast<double>(baseUs_);
    if (running_ && at > baseAt_) {
        const double elapsedUs = std::chrono::duration<double, std::micro>(at - baseAt_).count();
        us += elapsedUs * rate_;
    }
    if (lengthUs_ > 0 && us > static_cast<double>(lengthUs_)) us = static_cast<double>(lengthUs_);
    if (!(us > 0)) return 0;  // NaN included
    constexpr double kMax = static_cast<double>(std::numeric_limits<std::int64_t>::max() / 2);
    return us >= kMax ? static_cast<std::int64_t>(kMax) : static_cast<std::int64_t>(us);
}

std::uint32_t PositionClock::ToBlockMs(std::int64_t positionUs) {
    if (positionUs <= 0) return 0;
    const std::int64_t ms = positionUs / 1000;
    constexpr std::int64_t kMaxMs = std::numeric_limits<std::uint32_t>::max();
    return ms > kMaxMs ? static_cast<std::uint32_t>(kMaxMs) : static_cast<std::uint32_t>(ms);
}

}  // namespace mpris
