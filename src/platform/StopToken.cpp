#include "StopToken.h"

namespace Quivane {

StopToken::StopToken(const std::atomic<std::uint64_t>* generation, std::uint64_t expected,
                     std::optional<Clock::time_point> deadline)
    : watched_(generation), expected_(expected), deadline_(deadline) {}

StopToken StopToken::At(Clock::time_point deadline) { return StopToken(nullptr, 0, deadline); }

StopReason StopToken::Reason() const {
    if (deadline_ && Clock::now() >= *deadline_) return StopReason::DeadlinePassed;
    if (watched_ != nullptr && watched_->load() != expected_) return StopReason::Superseded;
    return StopReason::None;
}

} // namespace Quivane
