// What a cut or a pulled card may leave, and what the run after it must bring, judged on
// the device's two folders as a user of the device sees them (names without regard to case).
#pragma once
#include "tree.h"

#include <map>
#include <set>

// Files of the flash store a run removed before anything took their place (folded paths),
// each with the free bytes the flash store had just before the removal.
using VacatedFiles = std::map<std::string, unsigned long long>;

struct Expected {
    FoldedTree oldFlash;      // the flash store before the update
    FoldedTree card;          // the card folder before the update (below /SDMMC/ResidentFlash)
    FoldedTree endFlash;      // the flash store after one uninterrupted run
    FoldedTree endCard;       // the card's root after one uninterrupted run
    std::string shortfall;    // what that run left undone, for want of room; "" when none
    // An update that does not fit stays on the card, and a later start may bring more of it
    // (a file that did not fit before another's smaller version freed room): the device as
    // runs from the start leave it once a run changes nothing more. Both folders; the same as
    // endFlash and endCard when the update went in.
    FoldedTree settledFlash, settledCard;
    int nRunsToSettle = 1;    // how many runs from the start reach it
    bool bLimitedRoom = false;   // the flash store has a capacity
    bool bKeepSource = false;
};

// Runs from the start that still change a device that did not fit: more is a fault.
inline constexpr int kMaxRunsToSettle = 6;

// The card folder's part of a card root's tree (paths below "residentflash/").
FoldedTree CardFolderOf(const FoldedTree &cardRoot);

// What is wrong with the state a cut or a pull left; "" when it is sound: every flash file
// its old version or the card's (never torn, never a temporary taken for content), every
// flash folder one the flash store or the card had, every file and folder of the card folder
// still on the card or in the flash store, nothing of the flash store lost that the update
// keeps, and no deletion lost for good (its marker gone, a file of its folder back).
std::string Unsound(const Expected &e, const FoldedTree &flash, const FoldedTree &cardFolder);

// What is wrong with the flash store after a start with the card gone for good; "" when it is
// sound. before: as the case and the loss left it; after: as the start left it; vacated: the
// files the interrupted run removed before anything took their place (cases.h). The start
// leaves the flash store as it found it but for the replacements it finishes or undoes, and
// then every file the update replaces holds its old or its new version, never torn or absent,
// except a vacated one: replaced in place (counted in nInPlace: removed while the free room
// was short of the new version's blocks, so that it could not be written beside), or in a
// marker's folder; a
// file the update brings new is absent or new; nothing the update keeps is lost. With
// bRecovery, no temporary is left either.
std::string CardGoneUnsound(const Expected &e, const FoldedTree &before, const FoldedTree &after,
                            const VacatedFiles &vacated, bool bRecovery, long &nInPlace);

// What an uninterrupted run on a fresh device left wrong; "" when it did what an update does
// (checked where the store has no limit: with little room the update may not go in).
std::string UpdateNotDone(const Expected &e, bool bKeepSource);

// Whether a marker of the card folder's top: "update", "undelete", "delete_NAME" (lower case).
bool IsMarker(const std::string &path);
