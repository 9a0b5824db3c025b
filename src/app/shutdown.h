#pragma once

namespace lorvane {

// The program's exit, in order, before main returns and static objects go:
// the application is told it terminates; the interface is let go (screens
// cancel their requests and downloads, players stop and join their
// threads); whatever is still queued for the network is cancelled; the
// network thread is stopped and joined; download threads left over from
// cancelled loads get a short grace to end; the main run loop's remaining
// tasks run against objects that are gone (and so do nothing). Nothing here
// waits on a server: a trickling answer is cut off, not awaited.
//
// Safe to call more than once; only the first call does anything.
void shutDownApplication();

}  // namespace lorvane
