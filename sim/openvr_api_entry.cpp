// The shared library is the whole of wand_sim_core (linked as a whole archive); this file only gives
// the target a source of its own.
#include "sim/sim_core.h"
