// Shapes of a generated device that line up long runs of walk entries with no file work
// (--empty-runs): folders of many empty folders, before and between files, and chains of
// empty folders one inside the other, each followed by files, often large ones.
#pragma once
#include "drawn_names.h"

#include <cstdint>
#include <string>
#include <vector>

struct EmptyRuns {
    std::string summary;                  // what was added, for the device's line
    std::vector<std::string> deleted;     // shape folders at the top that a delete marker names
};

// Adds one to three shapes to the drawn tree whose top folder is top, each in a folder of
// its own (bShape), at the top or inside one of the top's folders, and sometimes a delete
// marker for a shape folder of the flash store's top. The shapes are drawn from a stream of
// their own, so that the rest of the device is what the seed draws without them.
// bShort: the same shapes with runs and chains of 2 to 5 folders, a device whose runs cost
// less where the runs' length is not what is tried (cut points by kind).
EmptyRuns AddEmptyRuns(Name &top, uint64_t seed, bool bShort);
