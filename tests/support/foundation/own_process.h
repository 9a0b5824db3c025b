// Runs a test case in a fresh child process, for cases that change state
// of the whole process (signal handlers, the network thread's shutdown).
// The child binds the main run loop to itself, runs the body, and exits 1
// when any check failed there (its messages are printed by the child).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "platform/foundation/run_loop.h"

namespace lorvane::testing {

// What runInOwnProcess answers when the child could not be started or
// waited for.
inline constexpr int kChildNotRun = -1000;

// Answers how the child ended: its exit status, or minus the signal that
// killed it. A case stuck for good is killed by an alarm after
// `alarmSeconds` rather than left hanging.
inline int runInOwnProcess(const std::function<void()>& body, unsigned alarmSeconds = 60) {
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = fork();
  if (child < 0) return kChildNotRun;
  if (child == 0) {
    alarm(alarmSeconds);
    RunLoop::main().bindToCurrentThread();
    body();
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) return kChildNotRun;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

}  // namespace lorvane::testing
