#include "app/quit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <string>
#include <thread>

#include "platform/foundation/log.h"
#include "platform/foundation/run_loop.h"

namespace lorvane {
namespace {

// Written by the signal handler only.
volatile std::sig_atomic_t caught = 0;
// The handler writes the signal's number here; the watcher reads it.
int wakePipe[2] = {-1, -1};

std::atomic<int> firstSignal{0};

// Guards the handler; never held while it runs.
std::mutex& handlerMutex() {
  static auto* mutex = new std::mutex();  // the watcher may outlive main
  return *mutex;
}

std::function<void()>& quitHandler() {
  static auto* handler = new std::function<void()>();
  return *handler;
}

// The quit has come and its task is waiting for a handler to run.
bool quitPending = false;  // guarded by handlerMutex()

extern "C" void onQuitSignal(int signal) {
  if (caught) {
    // The second one: no more waiting for an orderly exit.
    std::signal(signal, SIG_DFL);
    std::raise(signal);  // delivered as soon as this handler returns
    return;
  }
  caught = signal;
  const int savedErrno = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] ssize_t written = write(wakePipe[1], &number, 1);
  errno = savedErrno;
}

const char* signalName(int signal) {
  return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal";
}

void runQuitHandler() {
  std::function<void()> handler;
  {
    std::lock_guard lock(handlerMutex());
    if (!quitPending) return;
    handler = quitHandler();
    if (!handler) return;  // runs when one is set
    quitPending = false;
  }
  handler();
}

void watch() {
  unsigned char number = 0;
  ssize_t got;
  do {
    got = read(wakePipe[0], &number, 1);
  } while (got < 0 && errno == EINTR);
  if (got != 1) return;
  firstSignal.store(number);
  {
    std::lock_guard lock(handlerMutex());
    quitPending = true;
  }
  RunLoop::main().post([number] {
    Log(std::string("quit: ") + signalName(number));
    runQuitHandler();
  });
}

}  // namespace

void watchQuitSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (pipe2(wakePipe, O_CLOEXEC) != 0) {
      Log("quit signals: no pipe, SIGINT and SIGTERM end the program at once");
      return;
    }
    std::thread(watch).detach();  // blocked in read until a signal comes
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
  });
}

void setQuitHandler(std::function<void()> handler) {
  bool pending;
  {
    std::lock_guard lock(handlerMutex());
    quitHandler() = std::move(handler);
    pending = quitPending;
  }
  if (pending) RunLoop::main().post(runQuitHandler);
}

int quitSignal() {
  return firstSignal.load();
}

}  // namespace lorvane
