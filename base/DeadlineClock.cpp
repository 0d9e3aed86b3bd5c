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

}  // namespace

TDeadlineClock& DeadlineClock() { return *currentClock; }

void SetDeadlineClock(TDeadlineClock* clock) { currentClock = clock != nullptr ? clock : &realClock; }

void PauseMs(std::uint32_t ms) { DeadlineClock().Pause(ms); }
