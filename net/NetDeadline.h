// One absolute deadline per network operation: the look-up, every connect, the TLS
// handshake and every read and write of one download or one SMTP dialogue take their time
// from it, so no number of addresses, records or slow peers can stretch the operation.
// Time comes from base/DeadlineClock.h. Portable.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>

#include "base/DeadlineClock.h"

class TNetDeadline {
 public:
  // Never passes; every wait keeps its own cap.
  TNetDeadline() = default;
  static TNetDeadline After(std::uint32_t ms) {
    TNetDeadline deadline;
    deadline.endMs_ = DeadlineClock().NowMs() + ms;
    return deadline;
  }

  bool Bounded() const { return endMs_ != kNever; }
  bool Passed() const { return Bounded() && DeadlineClock().NowMs() >= endMs_; }
  // What is left of the time, at most cap (a wait's own limit); 0 once passed.
  int RemainingMs(int cap) const {
    if (!Bounded()) return cap;
    const std::uint64_t now = DeadlineClock().NowMs();
    if (now >= endMs_) return 0;
    const std::uint64_t left = endMs_ - now;
    return left < static_cast<std::uint64_t>(cap) ? static_cast<int>(left) : cap;
  }

 private:
  static constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t endMs_ = kNever;
};

// Asked by a waiting thread between its waits; true stops the operation (a person confirmed
// Cancel). May be empty.
using TNetCancel = std::function<bool()>;

// The longest single wait of a loop that must also notice a cancel or a terminate request.
constexpr int kNetPollSliceMs = 100;
