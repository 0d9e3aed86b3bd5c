// How a failure of the install sequence looks to the person: the icon of its box, and the
// window kept alive during the lower layers' waits.
#include <gtest/gtest.h>

#include "base/DeadlineClock.h"
#include "engine/FailureUnit.h"
#include "engine/InstallUI.h"
#include "engine/ProgramEnd.h"
#include "tests/support/RecordingUI.h"
#include "texts/TextTable.h"

namespace {

TEST(FailureUnitTest, BoxIconTellsWhetherTheMailServiceIsDown) {
  struct Row {
    TFailureKind kind;
    bool serversLeftDown;
    MessageIcon icon;
  };
  const Row rows[] = {
      {TFailureKind::Fatal, false, MessageIcon::Error},
      {TFailureKind::Fatal, true, MessageIcon::Error},
      {TFailureKind::Unexpected, true, MessageIcon::Error},
      {TFailureKind::Cancelled, false, MessageIcon::Information},
      // A confirmed Cancel after which a server that ran could not be started again.
      {TFailureKind::Cancelled, true, MessageIcon::Warning},
  };
  TRecordingUI ui;
  TScopedUI scoped(ui);
  SetProgramEndHandler([](int code) { throw TProgramEnded{code}; });
  for (const Row& row : rows) {
    TSetupFailure failure{row.kind, "Copying smtp.exe", "box text", 0};
    failure.ServersLeftDown = row.serversLeftDown;
    EXPECT_EQ(FailureBoxIcon(failure), row.icon);
    EXPECT_THROW(EndWithFailure(failure), TProgramEnded);
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes.back().icon, row.icon);
    EXPECT_EQ(ui.boxes.back().caption, row.kind == TFailureKind::Cancelled ? cInformation : cError);
  }
  SetProgramEndHandler(nullptr);
}

// A clock on which the waits pass at once.
class TInstantClock final : public TDeadlineClock {
 public:
  std::uint64_t NowMs() override { return now; }
  void Pause(std::uint32_t ms) override { now += ms; }
  std::uint64_t now = 0;
};

// The service code's waits (10 s for a service to stop) let the window's messages through
// while the install sequence runs, every slice of the pause; outside it they only pause.
TEST(FailureUnitTest, WaitsOfTheLowerLayersPumpWhileTheSequenceRuns) {
  TInstantClock clock;
  SetDeadlineClock(&clock);
  TRecordingUI ui;
  TScopedUI scoped(ui);

  PauseMs(kServerWaitMs);
  EXPECT_EQ(ui.pumps, 0);
  {
    const TWaitsPumpMessages pumping;
    PauseMs(kServerWaitMs);
    EXPECT_GE(ui.pumps, static_cast<int>(kServerWaitMs / kPauseSliceMs));
    const int before = ui.pumps;
    EXPECT_FALSE(WaitUntil([] { return false; }, 1000, 200));
    EXPECT_GE(ui.pumps - before, static_cast<int>(1000 / kPauseSliceMs));
  }
  const int after = ui.pumps;
  PauseMs(kServerWaitMs);
  EXPECT_EQ(ui.pumps, after);
  EXPECT_EQ(clock.now, 3 * std::uint64_t{kServerWaitMs} + 1000);
  SetDeadlineClock(nullptr);
}

}  // namespace
