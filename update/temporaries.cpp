#include "platform/folder_listing.h"
#include "update/file_ops.h"
#include "update/file_system.h"
#include "update/paths.h"

namespace {

// Calls visit(path) for each temporary the folder holds, until it returns false.
template <typename Visit>
void VisitTemporaries(LPCWSTR pszFolder, Visit visit) {
    WCHAR szPattern[kTemporaryPath], szPath[kTemporaryPath];
    if (!JoinPath(szPattern, kTemporaryPath, pszFolder, kTemporaryPattern)) return;
    WIN32_FIND_DATAW fd;
    CFindHandle listing;
    if (!listing.First(szPattern, &fd)) return;
    do {
        if (IsReservedName(fd.cFileName) && JoinPath(szPath, kTemporaryPath, pszFolder, fd.cFileName) && !visit(szPath))
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
