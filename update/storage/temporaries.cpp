#include "platform/folder_listing.h"
#include "update/storage/temporaries.h"
#include "update/storage/file_system.h"
#include "update/storage/paths.h"

namespace {

// Calls visit(path) for each temporary the folder holds, until it returns false. One buffer
// holds the listing's pattern, then each temporary's path: the walks call this at every depth
// of a tree, on a stack of 64 KiB.
template <typename Visit>
void VisitTemporaries(LPCWSTR pszFolder, Visit visit) {
    WCHAR szPath[kTemporaryPath];
    if (!JoinPath(szPath, kTemporaryPath, pszFolder, kTemporaryPattern)) return;
    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    if (!listing.First(szPath, &fd)) return;
    do {
        if (IsTemporaryName(fd.cFileName) && JoinPath(szPath, kTemporaryPath, pszFolder, fd.cFileName) && !visit(szPath))
            break;
    } while (listing.Next(&fd));
}

} // namespace

BOOL HoldsTemporary(LPCWSTR pszFolder) {
    BOOL bHolds = FALSE;
    VisitTemporaries(pszFolder, [&](LPCWSTR) { return !(bHolds = TRUE); });
    return bHolds;
}

void RemoveTemporaries(LPCWSTR pszFolder) {
    VisitTemporaries(pszFolder, [](LPCWSTR pszTemp) { return FsRemoveFile(pszTemp) || true; });
}
