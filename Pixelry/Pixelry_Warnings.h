// The library-wide switch for warnings and error messages.
#ifndef PIXELRY_WARNINGS_H
#define PIXELRY_WARNINGS_H

#include "Pixelry_Export.h"

// The warnings switch is one process-wide setting. It may be flipped from any thread at
// any time: a message already begun is printed whole. The library prints each message
// (all its lines) under one lock, so messages from different threads never interleave;
// lines your own code writes to std::cout at the same moment may fall between two of them.

// Turns the library's warnings and error messages off. Behaviour is otherwise unchanged.
PIXELRY_API void SetPixelrywarningsOff();
// Turns the library's warnings and error messages on (the state at start-up).
PIXELRY_API void SetPixelrywarningsOn();
// Returns true while the library prints its warnings and error messages.
PIXELRY_API bool GetPixelrywarningState();

#endif
