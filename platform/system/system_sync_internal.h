// Pieces of the synchronisation objects shared with the thread functions.
#pragma once

namespace hl::platform {

// Abandons every mutex the calling thread still owns, as Windows does when a thread ends; the
// next owner's wait returns WAIT_ABANDONED. Called before a thread's handle is signalled, so a
// thread that sees the handle signalled finds the mutexes already free.
void AbandonOwnedMutexes();

}  // namespace hl::platform
