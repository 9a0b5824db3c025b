// SIGINT and SIGTERM: the first asks the main loop to quit, once; a second
// ends the process at once. Signal handlers are for the whole process, so
// each case runs in a child process of its own.
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>

#include "app/quit_signals.h"
#include "platform/foundation/log.h"
#include "platform/foundation/run_loop.h"
#include "support/foundation/own_process.h"

namespace lorvane {
namespace {

using testing::runInOwnProcess;

TEST(QuitSignalsTest, TheFirstSignalRunsTheQuitHandlerOnceOnTheMainLoop) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
    const int ended = runInOwnProcess([signal] {
      LogCapture log;
      watchQuitSignals();
      int quits = 0;
      bool onMainThread = false;
      setQuitHandler([&] {
        ++quits;
        onMainThread = isMainThread();
      });
      EXPECT_EQ(quitSignal(), 0);
      std::raise(signal);
      ASSERT_TRUE(RunLoop::main().runUntil([&] { return quits > 0; }, 30));
      RunLoop::main().runUntilIdle();
      EXPECT_EQ(quits, 1);
      EXPECT_TRUE(onMainThread);
      EXPECT_EQ(quitSignal(), signal);
      EXPECT_TRUE(log.contains(signal == SIGTERM ? "quit: SIGTERM" : "quit: SIGINT"));
    });
    EXPECT_EQ(ended, 0);
  }
}

TEST(QuitSignalsTest, ASignalBeforeTheHandlerIsSetIsNotLost) {
  const int ended = runInOwnProcess([] {
    watchQuitSignals();
    std::raise(SIGTERM);
    ASSERT_TRUE(RunLoop::main().runUntil([] { return quitSignal() != 0; }, 30));
    RunLoop::main().runUntilIdle();  // its task finds no handler yet
    int quits = 0;
    setQuitHandler([&] { ++quits; });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return quits > 0; }, 30));
    RunLoop::main().runUntilIdle();
    EXPECT_EQ(quits, 1);
  });
  EXPECT_EQ(ended, 0);
}

TEST(QuitSignalsTest, ASecondSignalEndsTheProcessAtOnce) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
    const int ended = runInOwnProcess([signal] {
      watchQuitSignals();
      int quits = 0;
      // An orderly exit that never comes: the handler only counts.
      setQuitHandler([&] { ++quits; });
      std::raise(signal);
      ASSERT_TRUE(RunLoop::main().runUntil([&] { return quits > 0; }, 30));
      std::raise(signal);
      // Not reached: the second signal kills the process.
      _exit(3);
    });
    EXPECT_EQ(ended, -signal);
  }
}

}  // namespace
}  // namespace lorvane
