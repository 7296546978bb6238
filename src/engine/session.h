// The hub's life, in the order that hub.exe and hub-replay both follow:
//   startUp            before the dialog: the greetings and the start values;
//   initialiseDialog   the dialog's initialisation: the device set-up (dialog.h);
//   onActivate, onTimer, onCommand   while the dialog runs;
//   shutDown           the dialog's destruction: the tick forgets the devices
//                      before the platform releases them.
#pragma once

namespace hub {

struct Hub;

void startUp(Hub& hub);
void shutDown(Hub& hub);

}  // namespace hub
