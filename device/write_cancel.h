#pragma once

namespace verimant {

// A request to stop a firmware write after its current chunk. The writers clear it when they start
// and look at it after every chunk; whoever wants a write stopped (a Ctrl-C handler, a button)
// raises it on the GUI thread.
void requestWriteCancel();
void clearWriteCancel();
bool writeCancelRequested();

// A request to stop a whole run after its current step, as an operator who closes the window asks.
// Unlike the cancel above it outlives the start of the next writer, which therefore stops after
// its first chunk, and it keeps a switch into the boot loader from beginning. Whoever raised it
// clears it when the run has ended.
void requestRunStop();
void clearRunStop();
bool runStopRequested();

}  // namespace verimant
