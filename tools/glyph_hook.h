// A shape variation some designs have and others lack: the foot of a letter's stem
// turned into a hook to the right (as in many humanist sans faces' 'l').
#ifndef GLYPH_HOOK_H
#define GLYPH_HOOK_H

#include "glyph_raster.h"

// The rendered letter with the bottom of its stem replaced by a stroke of the stem's
// width that bends through a quarter circle of `radius` pixels and runs on `tail` pixels
// to the right. The stem is the ink found just above the bend. A letter whose foot is
// much wider than its stem (a serif) or that has no such stem is returned unchanged.
GrayImage hooked(const GrayImage& page, double radius, double tail);

#endif
