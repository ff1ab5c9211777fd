#pragma once
// Work of the main window that runs on a thread of its own while the window's event loop goes on
// (repaints, timers, the close button), and calls from that thread back to the window's thread.
#include <functional>

namespace panorello {

// Runs work on a new thread and returns when it has ended; meanwhile the calling (window) thread
// keeps processing its events. An exception of work is thrown again here.
void RunOffWindowThread(const std::function<void()>& work);

// Runs fn on the application's (window) thread and waits for it; runs it at once when called
// there. An exception of fn is thrown again to the caller.
void CallOnWindowThread(const std::function<void()>& fn);

}  // namespace panorello
