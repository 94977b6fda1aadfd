#include "FrameStore.h"

#include <algorithm>
#include <utility>

namespace Quivane {

FrameStore::FrameStore(std::uint64_t frameCount)
    : frames(static_cast<std::size_t>(frameCount)), delays(static_cast<std::size_t>(frameCount), 0), count(frameCount) {
    plan.window = static_cast<std::uint32_t>(std::min<std::uint64_t>(frameCount, UINT32_MAX));
}

void FrameStore::SetPlan(const FramePlan& newPlan) {
    std::lock_guard<std::mutex> lock(mutex);
    plan = newPlan;
    for (std::uint32_t index = 0; index < frames.size(); ++index) {
        if (!InWindowLocked(index)) DropLocked(index);
    }
    workChanged.notify_all();
}

bool FrameStore::InWindowLocked(std::uint32_t index) const {
    if (index >= count) return false;
    if (plan.keepAll) return true;
    const std::uint64_t ahead = index >= playhead ? index - playhead : count - playhead + index;
    return ahead < plan.window;
}

bool FrameStore::WantsLocked(std::uint32_t index) const {
    return !closed && InWindowLocked(index) && !frames[index];
}

void FrameStore::DropLocked(std::uint32_t index) {
    if (!frames[index]) return;
    heldBytes -= frames[index]->pixels.size();
    --heldFrames;
    frames[index].reset();
}

bool FrameStore::Put(std::uint32_t index, FramePixels&& frame) {
    auto kept = std::make_shared<const FramePixels>(std::move(frame));
    std::lock_guard<std::mutex> lock(mutex);
    if (index >= frames.size()) return false;
    delays[index] = kept->delayMs;
    if (!WantsLocked(index)) return false;
    heldBytes += kept->pixels.size();
    ++heldFrames;
    frames[index] = std::move(kept);
    return true;
}

bool FrameStore::Wants(std::uint32_t index) const {
    std::lock_guard<std::mutex> lock(mutex);
    return WantsLocked(index);
}

std::optional<std::uint32_t> FrameStore::NextWantedLocked() const {
    if (closed || count == 0) return std::nullopt;
    const std::uint64_t span = plan.keepAll ? count : std::min<std::uint64_t>(plan.window, count);
    for (std::uint64_t step = 0; step < span; ++step) {
        const auto index = static_cast<std::uint32_t>(plan.keepAll ? step : (playhead + step) % count);
        if (!frames[index]) return index;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> FrameStore::NextWanted() const {
    std::lock_guard<std::mutex> lock(mutex);
    return NextWantedLocked();
}

void FrameStore::WaitForWork(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex);
    workChanged.wait_for(lock, timeout, [this] { return closed || NextWantedLocked().has_value(); });
}

void FrameStore::EndAt(std::uint64_t newCount) {
    std::lock_guard<std::mutex> lock(mutex);
    if (newCount >= count) return;
    for (std::uint64_t index = newCount; index < count; ++index) DropLocked(static_cast<std::uint32_t>(index));
    count = newCount;
    if (playhead >= count) playhead = 0;
    if (plan.window > count) plan.window = static_cast<std::uint32_t>(count);
    workChanged.notify_all();
}

bool FrameStore::Closed() const {
    std::lock_guard<std::mutex> lock(mutex);
    return closed;
}

std::uint64_t FrameStore::FrameCount() const {
    std::lock_guard<std::mutex> lock(mutex);
    return count;
}

std::shared_ptr<const FramePixels> FrameStore::Frame(std::uint32_t index) const {
    std::lock_guard<std::mutex> lock(mutex);
    return index < count ? frames[index] : nullptr;
}

bool FrameStore::Has(std::uint32_t index) const {
    std::lock_guard<std::mutex> lock(mutex);
    return index < count && frames[index] != nullptr;
}

std::uint32_t FrameStore::DelayMs(std::uint32_t index) const {
    std::lock_guard<std::mutex> lock(mutex);
    return index < count && delays[index] != 0 ? delays[index] : 100;
}

void FrameStore::SetPlayhead(std::uint32_t index) {
    std::lock_guard<std::mutex> lock(mutex);
    if (index >= count || index == playhead) return;
    playhead = index;
    holdingBack = false;
    if (!plan.keepAll) {
        for (std::uint32_t other = 0; other < count; ++other) {
            if (!InWindowLocked(other)) DropLocked(other);
        }
    }
    workChanged.notify_all();
}

void FrameStore::HoldBackUntilShown(std::chrono::milliseconds patience) {
    std::lock_guard<std::mutex> lock(mutex);
    holdingBack = true;
    holdEnds = std::chrono::steady_clock::now() + patience;
}

bool FrameStore::HoldingBack() const {
    std::lock_guard<std::mutex> lock(mutex);
    return holdingBack && !closed && std::chrono::steady_clock::now() < holdEnds;
}

void FrameStore::WaitWhileHoldingBack(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex);
    const auto until = std::min(std::chrono::steady_clock::now() + timeout, holdEnds);
    workChanged.wait_until(lock, until, [this] { return closed || !holdingBack; });
}

void FrameStore::FrameShown() {
    std::lock_guard<std::mutex> lock(mutex);
    if (!holdingBack) return;
    holdingBack = false;
    workChanged.notify_all();
}

void FrameStore::Close() {
    std::lock_guard<std::mutex> lock(mutex);
    closed = true;
    workChanged.notify_all();
}

std::uint64_t FrameStore::HeldBytes() const {
    std::lock_guard<std::mutex> lock(mutex);
    return heldBytes;
}

std::uint32_t FrameStore::HeldFrames() const {
    std::lock_guard<std::mutex> lock(mutex);
    return heldFrames;
}

} // namespace Quivane
