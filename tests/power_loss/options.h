// The harness's command line, and what it draws from a seed besides the device: the cut
// points and pulls it tries, and the mixed losses' seeds.
#pragma once
#include "cases.h"

#include <cstdint>
#include <string>
#include <vector>

extern const char kUsage[];

constexpr long kByKind = -2;

struct Options {
    uint64_t seed = 1;
    long seeds = 1;
    long cuts = -1;                 // -1: every cut point; kByKind: the first of each kind
    long pulls = 0;                 // -1: every request
    std::vector<std::string> kinds = {"flushed", "immediate", "mixed"};
    long mixedSeeds = 2;
    bool bRotateLosses = false;     // each cut point under one of the losses, in turn
    bool bFlashKinds = false;       // with kByKind: only the kinds of a change to the flash store
    bool bRoom = false, bPrepared = false, bExpectCaught = false;
    bool bEmptyRuns = false;        // generated devices with runs of empty folders (empty_runs.h)
    bool bShortRuns = false;        // those runs and chains 2 to 5 folders long
    bool bList = false;             // prints the devices drawn, runs nothing
    bool bRefuseReplace = true;     // both mounts refuse a rename onto a name that is taken, as
                                    // the device does (powercutfs --refuse-replace)
    bool bVolumeFlush = true;       // both mounts take an fsync of their root folder for the
                                    // volume's flush, which commits everything (--volume-flush)
    bool bCardGone = true;          // after each cut point and each pull, the card taken out
                                    // for good and a start with no card (cases.h, CardGoneAfter)
    bool bRecovery = true;          // the card-gone cases also want no temporary left
    long oneCut = 0, onePull = 0;   // one case alone
    std::string oneLoss;
    std::string control;            // with bExpectCaught: a build that breaks no rule, which
                                    // must then pass the same cases
    std::string rerun;              // the command line that reruns a case, up to its case
};


bool Parse(int argc, char **argv, Options &o);
// The losses tried at one cut point (or one pull, which takes one of them by its index):
// mixed seeds drawn from the device's seed and the point.
std::vector<Loss> LossesAt(const Options &o, uint64_t seed, long point);
// count points of 1 .. n, one from each of count equal stretches: the start, the middle and
// the end of a run all get their share. All of them when count is -1 or not less than n.
std::vector<long> Sample(long n, long count, uint64_t seed);
