// Threads nobody joins: analytics sends, picture fetches, installer launches.
//
// std::thread::detach is not safe with MinGW's POSIX threads: detaching a thread that
// has already returned hands its bookkeeping back for reuse while the thread is still
// ending, and the next thread to be created can then end without ever running its
// work. A thread created detached frees its own bookkeeping as its last act.
#pragma once

#include <functional>

namespace ostrane {

// Runs work on a new thread created detached. Throws std::system_error when no
// thread can be made; work has not run then.
void StartDetachedThread(std::function<void()> work);

}  // namespace ostrane
