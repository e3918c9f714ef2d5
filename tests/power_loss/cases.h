// The cases the harness tries on one device: the power cut after the program's k-th change,
// and the card pulled at its j-th request. Each is judged twice: what it left (checks.h) and
// what the run after it brings (exactly what one uninterrupted run brings).
#pragma once
#include "checks.h"
#include "device.h"
#include "program_run.h"

#include <set>
#include <string>
#include <vector>

// What the power keeps at a cut, on both file systems: "flushed", "immediate" or
// "mixed SEED" (the card's own seed drawn from the flash store's).
struct Loss {
    std::string flash;
    std::string Card() const;
};

struct Outcome {
    std::string problem;       // "" when the case passed
    bool bCrash = false;       // the problem is a Wine process that died of a signal
    // The runs after it settled short of the whole update and elsewhere than the runs from
    // the start: on a store with little room, two I/O threads may meet the room in another
    // order from one run to the next, and so settle elsewhere from the same start. Where they
    // settled, to be judged once the device's cases are done (SettleFromStart).
    bool bOtherOrder = false;
    FoldedTree settledFlash, settledCard;
};

// Mounts the flash store and the card (powercutfs each) in the device root; with
// bRefuseReplace both refuse a rename onto a name that is taken, as the device does, and
// with bVolumeFlush both take an fsync of their root folder for the volume's flush.
void MountDevice(bool bRefuseReplace, bool bVolumeFlush);
// Makes d the device both file systems come back to at a reset, and runs the update once,
// uninterrupted: what every case must converge to. Ends the harness when that run fails.
Expected SetUpDevice(const Device &d);
// From the uninterrupted run: a lower bound of its changes, and the card's requests.
long EstimatedChanges();
long CardRequests();
// The exact number of cut points: the last k at which the cut build still cuts.
long CountCutPoints(long estimate);

// The file the cut build lists the uninterrupted run's changes in (TESSIVARD_CHANGES); the
// first change of each kind in it, in the order of the run, with its kind (by_kind.cpp).
fs::path ChangeList();
std::vector<std::pair<long, std::string>> CutsByKind(const Expected &e);

// A fresh device, run to the cut after change k. 99: cut; 0: the run had fewer changes.
RunEnd CutAt(long k);
// The power lost at the last cut (bFirst) or once more from the same moment, as loss keeps.
Outcome AfterCut(const Expected &e, const Loss &loss, bool bFirst);
// A fresh device whose card is pulled at its j-th request; the run to its end, then the
// flash store's power lost as loss keeps, and the card back in as it was at the pull.
// pVacated, when given, gets what that run vacated (below).
Outcome PulledAt(const Expected &e, long j, const Loss &loss, VacatedFiles *pVacated = nullptr);

// The flash store's files that the run just ended removed before anything took their place
// (powercutfs's vacated list, folded), each with the free bytes just before its removal:
// the old versions of replacements in place, where only the old version's room holds the
// new one, the files of a marker's folder, and any old version a broken build removed too
// soon. Asked before the power goes.
VacatedFiles Vacated();

// The device from the start once more, run until a run changes nothing: where it settles.
// Ends the harness when a run fails. It resets both file systems: no recut follows.
void SettleFromStart(FoldedTree &flash, FoldedTree &card);
// Whether the device is settled on the same flash store and card.
bool SameSettling(const Outcome &settled, const FoldedTree &flash, const FoldedTree &card);

// The card gone for good after a case: the flash store's power lost once more from the moment
// of the last cut, as loss keeps (what the case's own check saw), the card taken out, its
// folder gone, and one start with no card. Judged by CardGoneUnsound; the card is back in
// for the next case, though no recut of it is possible until the next reset: this is the
// last case of a cut point or a pull. nInPlace: the vacated files it did not hold to their
// old or new version (replacements in place; a marker's folder's files are apart).
Outcome CardGoneAfter(const Expected &e, const Loss &loss, const VacatedFiles &vacated, bool bRecovery,
                      long &nInPlace);
