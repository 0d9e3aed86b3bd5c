// The clock and pause behind every deadline wait of the service and process code (10 s for
// service and tray-program stops and starts, 30 s for a restart, 20 s for a file to come
// free). All waits are polling loops; they take time only from here, so tests can run them
// on a fake clock.
#pragma once

#include <cstdint>

class TDeadlineClock {
 public:
  virtual ~TDeadlineClock() = default;
  // Milliseconds on a clock that never goes back.
  virtual std::uint64_t NowMs() = 0;
  virtual void Pause(std::uint32_t ms) = 0;
};

// The clock in use; the real one until a test sets another.
TDeadlineClock& DeadlineClock();
// Null restores the real clock.
void SetDeadlineClock(TDeadlineClock* clock);

// Pauses through the current clock. While a pause listener is set, the pause is cut into
// slices of at most kPauseSliceMs with a call of the listener before each slice and at the end.
void PauseMs(std::uint32_t ms);

// Called during every pause (null: none): the engine sets one that lets the wizard window's
// messages through, so the window stays painted and Cancel stays usable while the service
// and process code waits. A pause inside the listener does not call it again.
using TPauseListener = void (*)();
void SetPauseListener(TPauseListener listener);
constexpr std::uint32_t kPauseSliceMs = 50;

class TDeadline {
 public:
  explicit TDeadline(std::uint32_t timeoutMs) : end_(DeadlineClock().NowMs() + timeoutMs) {}
  // True once the current time is at or past the deadline.
  bool Passed() const { return DeadlineClock().NowMs() >= end_; }

 private:
  std::uint64_t end_;
};

// Polls the condition, pausing pollMs between polls, until it holds or the deadline passes.
// Gives the condition's last answer.
template <typename Condition>
bool WaitUntil(Condition condition, std::uint32_t timeoutMs, std::uint32_t pollMs) {
  const TDeadline deadline(timeoutMs);
  for (;;) {
    if (condition()) return true;
    if (deadline.Passed()) return false;
    PauseMs(pollMs);
  }
}

constexpr std::uint32_t kServerWaitMs = 10000;
constexpr std::uint32_t kRestartWaitMs = 30000;
constexpr std::uint32_t kFileFreeWaitMs = 20000;
