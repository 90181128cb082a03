#pragma once

namespace verimant {

// A request to stop a firmware write after its current chunk. The writers clear it when they start
// and look at it after every chunk; whoever wants a write stopped (a Ctrl-C handler, a button)
// raises it on the GUI thread.
void requestWriteCancel();
void clearWriteCancel();
bool writeCancelRequested();

}  // namespace verimant
