// The tree a generated device is drawn as (device_gen.cpp): one tree of names, each on the
// flash store, on the card or on both, with a spelling of its own on each side.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

constexpr size_t kCopyBuffer = 64 * 1024;   // the program's copy buffer: sizes are drawn around it

struct Name {
    std::string name;             // lower case
    bool bFolder = false;
    bool bFlash = false, bCard = false;
    std::string flashSpelling, cardSpelling;
    size_t flashSize = 0, cardSize = 0;
    bool bShape = false;          // the folder of one empty-folder shape (empty_runs.h)
    std::vector<Name> children;
};
