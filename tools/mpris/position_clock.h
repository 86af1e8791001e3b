// The play position between reads. MPRIS never announces `Position` as it moves, so the
// bridge reads it now and then and runs it on from the last read at the player's `Rate`.
// Standard library only.
#pragma once

#include <chrono>
#include <cstdint>

namespace mpris {

using Clock = std::chrono::steady_clock;

class PositionClock {
public:
    // A read of `Position` that was asked for: its answer counts only if nothing moved the
    // position (a seek, a new track) since it was asked.
    using ReadTicket = std::uint64_t;

    // The position is `positionUs` at `at`, whatever was asked before (a seek, a new track,
    // the first read). Earlier reads still under way no longer count.
    void Jump(std::int64_t positionUs, Clock::time_point at);
    ReadTicket BeginRead() const { return generation_; }
    // The answer of a read: taken unless the position jumped since the ticket was drawn.
    // Returns whether it was taken.
    bool FinishRead(ReadTicket ticket, std::int64_t positionUs, Clock::time_point at);

    // The position runs while playing and stands still otherwise. The position up to `at`
    // is kept, so the change never moves it.
    void SetRunning(bool running, Clock::time_point at);
    // The player's rate (1.0 is normal speed); a value that is not a finite number counts as
    // 1.0.
    void SetRate(double rate, Clock::time_point at);
    // The track's length; the position never runs past it. 0 or less: unknown.
    void SetLength(std::int64_t lengthUs) { lengthUs_ = lengthUs; }

    // The position at `at` in microseconds, never below 0 nor past a known length.
    std::int64_t PositionUs(Clock::time_point at) const;
    // The same in the block's unit: milliseconds, clamped to 32 bits.
    std::uint32_t PositionMs(Clock::time_point at) const { return ToBlockMs(PositionUs(at)); }

    bool Running() const { return running_; }
    double Rate() const { return rate_; }

    static std::uint32_t ToBlockMs(std::int64_t positionUs);

private:
    void Anchor(std::int64_t positionUs, Clock::time_point at);

    std::int64_t baseUs_ = 0;
    Clock::time_point baseAt_{};
    double rate_ = 1.0;
    bool running_ = false;
    std::int64_t lengthUs_ = 0;
    std::uint64_t generation_ = 0;
};

}  // namespace mpris
