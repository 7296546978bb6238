// The tick's 33 ms on a real Windows PC. A process that does not ask gets the
// default 15.625 ms clock, on whose grid a 33 ms timer fires about every
// 46.9 ms; Windows 11 also drops a granted resolution and slows a process
// whose window is hidden, as the hub's is behind a VR game.
#pragma once

namespace hub::windows {

// Asks for a 1 ms timer resolution and opts the process out of power
// throttling (where the system knows it). A failure of either is ignored:
// the hub then ticks on the coarser grid.
void requestFineTimer();
// Ends the 1 ms resolution that requestFineTimer asked for.
void releaseFineTimer();

}  // namespace hub::windows
