// The consistency check ("Sanity check"): reports damage that would make
// commands unsafe. It only reads the volume and reports; the first fault
// found ends it.
#pragma once

#include "app/console.h"
#include "volume/volume.h"

namespace tarnwick {

// Refreshes vol.geometry, sets the current directory to the root and checks
// the volume. 0 when it stopped before the directory walk, else 1.
int sanity_check(Volume& vol, Console& con);

}  // namespace tarnwick
