// The end of a Windows session (log off, shut down) as the program's SIGTERM: it reaches the
// signal watch as a console close does, so the work under way ends through its own ending.
#pragma once

namespace platform::win32 {

// Queues the signal for the signal watch; false when no watch lives.
bool QueueSignal(int nSignal);
// True while a signal watch lives (the program has not yet ended its work).
bool SignalWatchLives();

}  // namespace platform::win32
