#include "base/DeadlineClock.h"

#include <chrono>
#include <thread>

namespace {

// Monotonic, so a clock change during the installation neither ends a wait early nor
// stretches it.
class TRealClock final : public TDeadlineClock {
 public:
  std::uint64_t NowMs() override {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
  }
  void Pause(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

TRealClock realClock;
TDeadlineClock* currentClock = &realClock;
TPauseListener pauseListener = nullptr;
bool inListener = false;

void CallPauseListener() {
  if (pauseListener == nullptr || inListener) return;
  inListener = true;
  try {
    pauseListener();
  } catch (...) {
    inListener = false;
    throw;
  }
  inListener = false;
}

}  // namespace

TDeadlineClock& DeadlineClock() { return *currentClock; }

void SetDeadlineClock(TDeadlineClock* clock) { currentClock = clock != nullptr ? clock : &realClock; }

void PauseMs(std::uint32_t ms) {
  if (pauseListener == nullptr || inListener) {
    DeadlineClock().Pause(ms);
    return;
  }
  for (std::uint32_t left = ms; left > 0;) {
    CallPauseListener();
    const std::uint32_t slice = left < kPauseSliceMs ? left : kPauseSliceMs;
    DeadlineClock().Pause(slice);
    left -= slice;
  }
  CallPauseListener();
}

void SetPauseListener(TPauseListener listener) { pauseListener = listener; }
