#pragma once

#include <functional>

namespace lorvane {

// SIGINT and SIGTERM end the program the orderly way, as closing its window
// does: the first one runs the quit handler on the main run loop, which
// leaves the program's loop so that it shuts down and exits with status 0.
// A second one, should that exit hang, ends the process at once (killed by
// that signal, as if it had not been caught).
//
// watchQuitSignals() goes first thing in main; it starts one thread that
// turns the signal into a task for the main run loop. Calling it again does
// nothing.
void watchQuitSignals();

// What the first signal does on the main thread. Set once the loop it ends
// exists; a signal that came before runs it on the next turn of the loop.
void setQuitHandler(std::function<void()> handler);

// The signal that asked to quit (SIGINT or SIGTERM); 0 while none has.
int quitSignal();

}  // namespace lorvane
