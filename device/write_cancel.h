#pragma once

namespace verimant {

// A request to stop a firmware write after its current chunk. The writers clear it when they start
// and look at it after every chunk; whoever wants a write stopped (a Ctrl-C handler, a button)
// raises it on the GUI thread.
void requestWriteCancel();
void clearWriteCancel();
bool writeCancelRequested();

// A request to stop a whole run at its next safe point, as an operator who closes the window or
// presses Ctrl-C asks. Unlike the cancel above it outlives the start of the next writer. The
// data writer stops at a chunk boundary; the main-firmware writer runs to its end, since a partial
// firmware leaves the instrument in its boot loader; a switch into the boot loader is not begun,
// and one that was under way is followed by the way back. Whoever raised it clears it when the
// run has ended.
void requestRunStop();
void clearRunStop();
bool runStopRequested();

// Whether the run is writing into the instrument: from its switch into the boot loader until the
// versions have been read back after the last restart. Outside that span nothing is at stake, and
// a stop simply cancels what is left of the run.
void setRunWriting(bool writing);
bool runWriting();

}  // namespace verimant
