#include "update/walks/walk_space.h"

size_t WalkEntryBound() { return kWalkEntries; }
