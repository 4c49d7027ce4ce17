// A peer layer's header in quotes.
#include "sim/sim.h"
