// Which entries of the card folder are markers, and what each one plans. Only the top level
// of the card folder holds markers; "update" and the prefix "delete_" match in any letter
// case, and the folder a delete marker names keeps the case written in the marker's name.
// The device's scan and the card maker read a card by these same rules.
#pragma once
#include <windows.h>
#include "update/storage/paths.h"

inline constexpr WCHAR kUpdateMarker[] = L"update";
inline constexpr WCHAR kDeletePrefix[] = L"delete_";
inline constexpr size_t kDeletePrefixLength = sizeof kDeletePrefix / sizeof(WCHAR) - 1;   // ASCII: as many bytes

enum class MarkerKind {
    kNotAMarker,      // a folder, or a file of any other name: copied like the rest
    kUnaddressable,   // no exact ANSI form within the buffers, or a name the name rules do
                      // not take as this very entry: left alone, never consumed, never planned
    kUpdate,          // the update marker: consumed
    kPlansNothing,    // a delete marker with no usable folder name: consumed, plans nothing
    kPlansDeletion,   // a delete marker: removes its flash folder, then is consumed
};

struct MarkerEntry {
    MarkerKind kind;
    char szCardPath[kAnsiPath];   // the entry on the card ("%s/%s"); empty when unaddressable
    char szPlanned[kAnsiPath];    // with kPlansDeletion: the flash folder it removes
};

// When the run consumes (removes from the card) a top-level entry of that kind. Nothing is
// consumed in keep-source mode; "update" and a delete marker that plans nothing go at the
// scan; a delete marker that plans a deletion goes only once that deletion is on the medium,
// so that a power cut in between leaves the marker and the next run deletes again. Every
// consumption comes before the copy reaches the card folder's top level.
enum class MarkerConsumption {
    kNever,
    kAtScan,
    kAfterItsDeletion,
};
MarkerConsumption WhenConsumed(MarkerKind kind, BOOL bKeepSource);

// Reads one entry of the card folder pszCard, as its listing gave it (name, folder or not),
// against the flash store pszFlash. Both paths are ANSI, "/" separated.
void ReadMarker(LPCSTR pszCard, LPCSTR pszFlash, LPCWSTR pszName, BOOL bFolder, MarkerEntry &entry);

// A character that makes a delete marker plan nothing: the folder name would not be one
// plain name of the flash store.
bool HasRejectedCharacter(const char *psz);
