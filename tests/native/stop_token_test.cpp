#include "platform/StopToken.h"

#include <gtest/gtest.h>

#include <thread>

using Quivane::StopReason;
using Quivane::StopToken;

TEST(StopToken, ADefaultTokenNeverStops) {
    EXPECT_FALSE(StopToken{}.ShouldStop());
    EXPECT_EQ(StopToken{}.Reason(), StopReason::None);
}

TEST(StopToken, ANewerGenerationSupersedesTheLoad) {
    std::atomic<std::uint64_t> generation{7};
    const StopToken stop(&generation, 7, StopToken::Clock::now() + std::chrono::minutes(10));
    EXPECT_FALSE(stop.ShouldStop());
    generation.store(8);
    EXPECT_EQ(stop.Reason(), StopReason::Superseded);
}

TEST(StopToken, APassedDeadlineStopsItAndOutranksSupersession) {
    EXPECT_FALSE(StopToken::Within(std::chrono::minutes(10)).ShouldStop());
    EXPECT_EQ(StopToken::At(StopToken::Clock::now()).Reason(), StopReason::DeadlinePassed);
    std::atomic<std::uint64_t> generation{2};
    EXPECT_EQ(StopToken(&generation, 1, StopToken::Clock::now()).Reason(), StopReason::DeadlinePassed);
}

TEST(StopToken, ACopyOnAnotherThreadSeesTheSameGeneration) {
    std::atomic<std::uint64_t> generation{1};
    const StopToken stop(&generation, 1);
    generation.store(2);
    StopReason seen = StopReason::None;
    std::thread other([copy = stop, &seen] { seen = copy.Reason(); });
    other.join();
    EXPECT_EQ(seen, StopReason::Superseded);
}
