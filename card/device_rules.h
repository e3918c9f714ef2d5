// What the device makes of the names and paths of an update, decided by the device's own rules
// (update/storage/paths.h, update/rules/marker_rules.h) on the very paths the device uses: a card
// entry the copy walk passes over, a flash entry its deletion cannot reach, a flash folder no
// delete marker removes, a name the flash store cannot hold. The rules run under the device's
// code page: the program refuses to work under any other (card_main.cpp).
#pragma once
#include <string>
#include <utility>
#include <vector>
#include "card/host_tree.h"
#include "update/run/device_paths.h"
#include "update/rules/marker_rules.h"
#include "update/rules/walk_rules.h"

inline const std::wstring kCardFolderW = L"" CARD_FOLDER;    // where the walks start on the card
inline const std::wstring kFlashFolderW = L"" FLASH_FOLDER;  // and in the flash store

// The walks' path of rel ("maps/seoul.map") below one of those folders: "\" between names.
std::wstring DevicePath(const std::wstring &folder, const std::wstring &rel);

// Why `walk` (update/rules/walk_rules.h), listing the device folder `folder`, neither works nor
// enters its entry `name` (a folder if bFolder), in words; empty when it takes it.
std::wstring WhyWalkPasses(Walk walk, const std::wstring &folder, const std::wstring &name, bool bFolder);
// What of the copy's reasons depends on the name alone, at any depth.
std::wstring WhyNameSkips(const std::wstring &name);
// Why the walks list nothing in the folder at this device path; empty when they list it.
std::wstring WhyListingFails(const std::wstring &path);
// What the copy makes of an entry of a well-formed name at its depth: its path, and for a
// folder its name and its listing.
std::wstring WhyPathSkips(const std::wstring &folder, const std::wstring &name, bool bFolder);

// What the deletion walk, removing the flash folder `folder` (a top-level folder of the
// flash store, as NOW holds it), cannot remove of it: each entry's path below the flash
// store, and why. A temporary an interrupted run left is removed with the rest.
std::vector<std::pair<std::wstring, std::wstring>> UnreachableByDeletion(const HostEntry &folder);

// Why the flash store cannot keep a name that the walks would copy; empty when it can.
std::wstring WhyFlashCannotHold(const std::wstring &name);

// What the marker scan makes of a top-level entry of the card folder.
MarkerEntry ReadCardMarker(const std::wstring &name, bool bFolder);
// Why a top-level card file of this name, read as a delete marker, plans nothing.
std::wstring WhyMarkerPlansNothing(const std::wstring &markerName);
// The delete marker of the flash folder `folder`: "delete_" + its name.
std::wstring DeleteMarkerOf(const std::wstring &folder);
// Why no delete marker removes exactly the flash folder `folder`; empty when its marker does.
std::wstring WhyNoMarkerRemoves(const std::wstring &folder);
// Whether the run consumes a top-level card file of this name before the copy reaches it.
bool IsConsumedMarker(const std::wstring &name, bool bKeepSource);
// The keep-source marker: a file "undelete" in the card folder, in any letter case.
bool IsKeepSourceMarker(const std::wstring &name, bool bFolder);
// A top-level flash file the end of every run removes: a marker copy ("update", "undelete").
bool IsRemovedAtTheEnd(const std::wstring &name);
// The names of the markers the card maker writes.
std::wstring UpdateMarkerName();
std::wstring KeepSourceMarkerName();
