#include "update/marker_rules.h"
#include <cstring>
#include <cwchar>
#include "platform/ansi_text.h"
#include "platform/cstring.h"

bool HasRejectedCharacter(const char *psz) { return std::strpbrk(psz, ".&\\/;:*?<>|\"") != nullptr; }

void ReadMarker(LPCSTR pszCard, LPCSTR pszFlash, LPCWSTR pszName, BOOL bFolder, MarkerEntry &entry) {
    std::memset(&entry, 0, sizeof entry);
    char szExact[kAnsiPath], szLower[kAnsiPath], szRest[kAnsiPath];
    CString strLower = pszName;
    strLower.MakeLower();
    const size_t cbLimit = 2 * wcslen(pszName);
    if (!WideToAnsi(szExact, kAnsiPath, pszName, cbLimit) || !WideToAnsi(szLower, kAnsiPath, strLower, cbLimit) ||
        !FormatInto(entry.szCardPath, "%s/%s", pszCard, szExact) || !IsPlainChildName(CString(pszCard), pszName)) {
        std::memset(&entry, 0, sizeof entry);
        entry.kind = MarkerKind::kUnaddressable;
        return;
    }
    if (bFolder) {
        entry.kind = MarkerKind::kNotAMarker;   // folders are never markers
        return;
    }
    if (std::strncmp(szLower, kDeletePrefix, kDeletePrefixLength) != 0) {
        entry.kind = std::strcmp(szLower, kUpdateMarker) == 0 ? MarkerKind::kUpdate : MarkerKind::kNotAMarker;
        return;
    }
    // The planned path must resolve to the flash store, one separator and the name: not
    // the store itself ("delete_ "), not a device ("delete_NUL"), not another folder.
    const bool bPlans = std::strlen(szLower) > kDeletePrefixLength &&
                        FormatInto(szRest, "%s", szExact + kDeletePrefixLength) && !HasRejectedCharacter(szRest) &&
                        FormatInto(entry.szPlanned, "%s/%s", pszFlash, szRest) &&
                        IsPlainChildName(CString(pszFlash), CString(szRest));
    if (!bPlans) std::memset(entry.szPlanned, 0, kAnsiPath);
    entry.kind = bPlans ? MarkerKind::kPlansDeletion : MarkerKind::kPlansNothing;
}
