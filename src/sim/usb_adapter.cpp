#include "usb_adapter.h"

#include <algorithm>
#include <limits>

#include "clock.h"

namespace hc11 {

namespace {

using WallClock = std::chrono::steady_clock;

constexpr size_t kNoCount = SIZE_MAX;
constexpr double kMaxBurstSeconds = 0.010;  // a burst is passed on in parts after 10 ms
constexpr size_t kAdapterPacketBytes = 62;  // a full-speed USB packet, less its status bytes

double SecondsSince(WallClock::time_point start) {
    return std::chrono::duration<double>(WallClock::now() - start).count();
}

}  // namespace

void UsbAdapter::hold(const Frame &frame, uint64_t start, uint64_t end) {
    if (held_.empty()) firstHeldAt_ = WallClock::now();
    held_.push_back({frame, start, end});
}

void UsbAdapter::drop(size_t count) {
    held_.erase(held_.begin(), held_.begin() + long(count));
    firstHeldAt_ = WallClock::now();
}

// A served line gets the target's characters in bursts: characters sent back to back go to
// the host together, all read at the host's rate at that moment and written in one go, once
// the burst has ended and (in real time) the wall clock has reached its last stop bit. The
// last boot echo and the talker's first prompt right behind it so reach the host together,
// as on a real line, however quickly the host reopens its port and purges it. A burst that
// goes on for long is passed on in parts.
size_t UsbAdapter::release(uint64_t dueBy, uint64_t now, uint64_t transmitStart) const {
    return latencyCycles_ > 0 ? adapterRelease(dueBy) : burstRelease(dueBy, now, transmitStart);
}

// --latency: the adapter holds what it received until its timer, started by the first byte
// it holds, expires, or until a packet's 62 bytes are in. In real time a byte is in the
// adapter once the wall clock has reached its stop bit and the timer runs in simulated
// cycles; as fast as it can, every byte sent is in at once and the timer runs on the wall
// clock.
size_t UsbAdapter::adapterRelease(uint64_t dueBy) const {
    size_t inAdapter = 0;
    while (inAdapter < held_.size() && held_[inAdapter].end <= dueBy) inAdapter++;
    if (inAdapter >= kAdapterPacketBytes) return kAdapterPacketBytes;
    if (inAdapter == 0) return 0;
    bool expired = dueBy == UINT64_MAX
                       ? SecondsSince(firstHeldAt_) >= clock_.seconds(latencyCycles_)
                       : dueBy >= held_.front().end + uint64_t(latencyCycles_);
    return expired ? inAdapter : 0;
}

double UsbAdapter::wallWait(bool realtime) const {
    if (latencyCycles_ <= 0 || realtime || held_.empty())
        return std::numeric_limits<double>::infinity();
    return std::max(0.0, clock_.seconds(latencyCycles_) - SecondsSince(firstHeldAt_));
}

size_t UsbAdapter::burstRelease(uint64_t dueBy, uint64_t now, uint64_t transmitStart) const {
    size_t count = 0;
    while (count < held_.size()) {
        size_t end = burstEnd(count, transmitStart);
        if (end == kNoCount || held_[end - 1].end > dueBy) break;
        count = end;
    }
    if (count == 0 && !held_.empty() &&
        held_.front().end + clock_.cyclesFor(kMaxBurstSeconds) <= std::min(dueBy, now)) {
        while (count < held_.size() && held_[count].end <= dueBy) count++;
    }
    return count;
}

// One past the last held character of the burst that begins at first, or kNoCount while the
// transmitter is still adding to it.
size_t UsbAdapter::burstEnd(size_t first, uint64_t transmitStart) const {
    size_t last = first;
    while (last + 1 < held_.size() && held_[last + 1].start <= held_[last].end) last++;
    bool continuing = last + 1 == held_.size() && transmitStart <= held_[last].end;
    return continuing ? kNoCount : last + 1;
}

uint64_t UsbAdapter::releaseCycle(bool realtime) const {
    if (!realtime || held_.empty()) return UINT64_MAX;
    if (latencyCycles_ <= 0) return held_.front().end;
    uint64_t timer = held_.front().end + uint64_t(latencyCycles_);
    if (held_.size() < kAdapterPacketBytes) return timer;
    return std::min(timer, held_[kAdapterPacketBytes - 1].end);
}

}  // namespace hc11
