#include "update/rules/marker_rules.h"
#include <cstring>
#include <cwchar>
#include "platform/ansi_text.h"
#include "update/rules/name_rule.h"

bool HasRejectedCharacter(const char *psz) { return std::strpbrk(psz, ".&\\/;:*?<>|\"") != nullptr; }

MarkerConsumption WhenConsumed(MarkerKind kind, BOOL bKeepSource) {
    if (bKeepSource) return MarkerConsumption::kNever;
    switch (kind) {
    case MarkerKind::kUpdate:
    case MarkerKind::kPlansNothing:
        return MarkerConsumption::kAtScan;
    case MarkerKind::kPlansDeletion:
        return MarkerConsumption::kAfterItsDeletion;
    case MarkerKind::kNotAMarker:
    case MarkerKind::kUnaddressable:
        break;
    }
    return MarkerConsumption::kNever;
}

void ReadMarker(LPCSTR pszCard, LPCSTR pszFlash, LPCWSTR pszName, BOOL bFolder, MarkerEntry &entry) {
    std::memset(&entry, 0, sizeof entry);
    char szExact[kAnsiPath], szRest[kAnsiPath];
    WCHAR szFolder[kAnsiPath], szWideRest[kAnsiPath];
    if (!WideToAnsi(szExact, kAnsiPath, pszName, 2 * wcslen(pszName)) ||
        !FormatInto(entry.szCardPath, "%s/%s", pszCard, szExact) || !AnsiToWide(szFolder, kAnsiPath, pszCard) ||
        !IsPlainChildName(szFolder, pszName)) {
        std::memset(&entry, 0, sizeof entry);
        entry.kind = MarkerKind::kUnaddressable;
        return;
    }
    if (bFolder) {
        entry.kind = MarkerKind::kNotAMarker;   // folders are never markers
        return;
    }
    if (!NameHasPrefix(pszName, kDeletePrefix)) {
        entry.kind = NamesMatch(pszName, kUpdateMarker) ? MarkerKind::kUpdate : MarkerKind::kNotAMarker;
        return;
    }
    // The planned path must be the flash store, one separator and the name: not the store
    // itself ("delete_ "), not a device ("delete_NUL"), not another folder, and not one of the
    // device's records (a keyed device's sequence, the last run's result), which no card changes.
    // The prefix is ASCII in any letter case that matches it: its bytes are its characters.
    const bool bPlans = wcslen(pszName) > kDeletePrefixLength &&
                        FormatInto(szRest, "%s", szExact + kDeletePrefixLength) && !HasRejectedCharacter(szRest) &&
                        FormatInto(entry.szPlanned, "%s/%s", pszFlash, szRest) &&
                        AnsiToWide(szFolder, kAnsiPath, pszFlash) && AnsiToWide(szWideRest, kAnsiPath, szRest) &&
                        IsPlainChildName(szFolder, szWideRest) && !IsSequenceRecordName(szWideRest) &&
                        !IsResultRecordName(szWideRest);
    if (!bPlans) std::memset(entry.szPlanned, 0, kAnsiPath);
    entry.kind = bPlans ? MarkerKind::kPlansDeletion : MarkerKind::kPlansNothing;
}
