// Times the stages of a run one after the other for a StageTimes sink: each
// lap() reports the time since the previous lap (or since the clock was
// made) under the stage's name. Without a sink it reads no clock at all.
#pragma once

#include <chrono>
#include <string_view>

#include <veltrane2/veltrane2.hpp>

namespace veltrane2 {

class StageClock {
public:
    explicit StageClock(StageTimes* sink) : sink_(sink) {
        if (sink_ != nullptr) last_ = Clock::now();
    }
    void lap(std::string_view stage) {
        if (sink_ == nullptr) return;
        const Clock::time_point now = Clock::now();
        sink_->stage(stage, std::chrono::duration<double>(now - last_).count());
        last_ = now;
    }
    // Starts the next stage now, leaving out what came since the last lap.
    void skip() {
        if (sink_ != nullptr) last_ = Clock::now();
    }

private:
    using Clock = std::chrono::steady_clock;
    StageTimes* sink_;
    Clock::time_point last_{};
};

}  // namespace veltrane2
