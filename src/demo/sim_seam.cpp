// src/sim/sim_hid.cpp with its seam named simhid (see sim_seam.h): the seam's header is already
// in, so the bench's operations are defined on the seam's own types.
#include "demo/sim_seam.h"

#define hid simhid
#include "sim/sim_hid.cpp"
#undef hid
