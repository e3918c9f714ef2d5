// The cases the harness tries on one device: the power cut after the program's k-th change,
// and the card pulled at its j-th request. Each is judged twice: what it left (checks.h) and
// what the run after it brings (exactly what one uninterrupted run brings).
#pragma once
#include "checks.h"
#include "device.h"
#include "program_run.h"

// What the power keeps at a cut, on both file systems: "flushed", "immediate" or
// "mixed SEED" (the card's own seed drawn from the flash store's).
struct Loss {
    std::string flash;
    std::string Card() const;
};

struct Outcome {
    std::string problem;       // "" when the case passed
    bool bCrash = false;       // the problem is a Wine process that died of a signal
};

// Mounts the flash store and the card (powercutfs each) in the device root.
void MountDevice();
// Makes d the device both file systems come back to at a reset, and runs the update once,
// uninterrupted: what every case must converge to. Ends the harness when that run fails.
Expected SetUpDevice(const Device &d);
// From the uninterrupted run: a lower bound of its changes, and the card's requests.
long EstimatedChanges();
long CardRequests();
// The exact number of cut points: the last k at which the cut build still cuts.
long CountCutPoints(long estimate);

// A fresh device, run to the cut after change k. 99: cut; 0: the run had fewer changes.
RunEnd CutAt(long k);
// The power lost at the last cut (bFirst) or once more from the same moment, as loss keeps.
Outcome AfterCut(const Expected &e, const Loss &loss, bool bFirst);
// A fresh device whose card is pulled at its j-th request; the run to its end, then the
// flash store's power lost as loss keeps, and the card back in as it was at the pull.
Outcome PulledAt(const Expected &e, long j, const Loss &loss);
