// Walks bound to a few thousand entries: a card whose folders lead back into themselves meets
// the bound in seconds rather than after the largest card's count (tests/bad_input_runs.sh).
#include "update/walks/walk_space.h"

size_t WalkEntryBound() { return 4000; }
