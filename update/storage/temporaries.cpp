#include "platform/folder_listing.h"
#include "update/storage/temporaries.h"
#include "update/storage/file_system.h"
#include "update/rules/name_rule.h"

namespace {

// Calls visit(path, name) for each name the folder lists under the pattern that is(name)
// takes, until visit returns false. One buffer holds the listing's pattern, then each
// path: the walks call this at every depth of a tree, on a stack of 64 KiB.
template <typename Is, typename Visit>
void VisitNames(LPCWSTR pszFolder, LPCWSTR pszPattern, Is is, Visit visit) {
    WCHAR szPath[kTemporaryPath];
    if (!JoinPath(szPath, kTemporaryPath, pszFolder, pszPattern)) return;
    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    if (!listing.First(szPath, &fd)) return;
    do {
        if (is(fd.cFileName) && JoinPath(szPath, kTemporaryPath, pszFolder, fd.cFileName) && !visit(szPath, fd.cFileName))
            break;
    } while (listing.Next(&fd));
}

template <typename Visit>
void VisitTemporaries(LPCWSTR pszFolder, Visit visit) {
    VisitNames(pszFolder, kTemporaryPattern, IsTemporaryName, visit);
}

} // namespace

BOOL HoldsTemporary(LPCWSTR pszFolder) {
    BOOL bHolds = FALSE;
    VisitTemporaries(pszFolder, [&](LPCWSTR, LPCWSTR) { return !(bHolds = TRUE); });
    return bHolds;
}

void RemoveTemporaries(LPCWSTR pszFolder) {
    VisitTemporaries(pszFolder, [](LPCWSTR pszTemp, LPCWSTR) { return FsRemoveFile(pszTemp) || true; });
}

void RemoveLeftovers(LPCWSTR pszFolder, const WCHAR (&keep)[kTemporaries][kWriterName]) {
    RemoveTemporaries(pszFolder);
    VisitNames(pszFolder, kAsidePattern, IsAsideName, [&keep](LPCWSTR pszAside, LPCWSTR pszName) {
        for (const WCHAR *pszKept : keep)
            if (NamesMatch(pszName, pszKept)) return true;
        return FsRemoveFile(pszAside) || true;
    });
}
