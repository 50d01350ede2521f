// Standard descriptors made safe before a program opens anything: started with one
// of 0-2 closed (`>&-`, some service managers and CI runners), a program would get
// its serial port or pty on it, and its own output would go to the controller.
#pragma once

// Opens /dev/null, read-only, on each of descriptors 0, 1 and 2 that is closed (a
// write to it fails as on the closed one). Call it first in
// main, before anything is opened. 1 when all three are open afterwards, else 0.
// Does nothing on Windows, whose programs get no such numbered descriptors to reuse.
int stdio_guard();
