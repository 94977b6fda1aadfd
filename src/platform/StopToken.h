#pragma once
// What a load that can be stopped is handed: it answers whether a newer load
// has superseded this one, or whether the load's deadline has passed. No
// Windows header: the HRESULT a stop ends with is StopResult (StopResult.h).
//
// A copy is a few words and is made freely. A token that watches a generation
// keeps a pointer to it: the watched counter must outlive every copy (the
// loader's channel does). A default token never stops.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

namespace Quivane {

enum class StopReason { None, Superseded, DeadlinePassed };

class StopToken {
public:
    using Clock = std::chrono::steady_clock;

    StopToken() = default;
    // Stops once `generation` no longer holds `expected`, and once `deadline`
    // (when given) has come.
    StopToken(const std::atomic<std::uint64_t>* generation, std::uint64_t expected,
              std::optional<Clock::time_point> deadline = std::nullopt);
    // Stops only once `deadline` has come.
    static StopToken At(Clock::time_point deadline);
    static StopToken Within(std::chrono::milliseconds patience) { return At(Clock::now() + patience); }

    // DeadlinePassed when both hold: the load ran out of time either way.
    StopReason Reason() const;
    bool ShouldStop() const { return Reason() != StopReason::None; }

private:
    const std::atomic<std::uint64_t>* watched_ = nullptr;
    std::uint64_t expected_ = 0;
    std::optional<Clock::time_point> deadline_;
};

} // namespace Quivane
