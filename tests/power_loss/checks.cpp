#include "checks.h"
#include "device.h"

bool IsMarker(const std::string &path) {
    return path == "update" || path == "undelete" || (path.rfind("delete_", 0) == 0 && path.find('/') == path.npos);
}

FoldedTree CardFolderOf(const FoldedTree &cardRoot) {
    const std::string top = "residentflash/";
    FoldedTree folder;
    for (const auto &[path, content] : cardRoot.files)
        if (path.rfind(top, 0) == 0) folder.files[path.substr(top.size())] = content;
    for (const std::string &path : cardRoot.folders)
        if (path.rfind(top, 0) == 0) folder.folders.insert(path.substr(top.size()));
    for (const auto &[path, spelled] : cardRoot.spelled)
        if (path.rfind(top, 0) == 0) folder.spelled[path.substr(top.size())] = spelled.substr(top.size());
    folder.clash = cardRoot.clash;
    return folder;
}

namespace {

bool Holds(const std::map<std::string, std::string> &files, const std::string &path, const std::string &content) {
    auto it = files.find(path);
    return it != files.end() && it->second == content;
}

// A delete marker's folder (lower case), or "" for any other name.
std::string PlannedFolder(const std::string &marker) {
    return marker.rfind("delete_", 0) == 0 && marker.find('/') == marker.npos ? marker.substr(7) : "";
}

} // namespace

std::string Unsound(const Expected &e, const FoldedTree &flash, const FoldedTree &cardFolder) {
    if (!flash.clash.empty()) return "two spellings of one name in the flash store: " + flash.clash;
    if (!cardFolder.clash.empty()) return "two spellings of one name on the card: " + cardFolder.clash;
    for (const auto &[path, content] : e.card.files)
        if (!IsMarker(path) && !Holds(cardFolder.files, path, content) && !Holds(flash.files, path, content))
            return "lost: " + path + " (neither on the card nor in the flash store)";
    for (const std::string &path : e.card.folders)
        if (!cardFolder.folders.count(path) && !flash.folders.count(path)) return "lost folder: " + path;
    for (const auto &[path, content] : flash.files) {
        if (IsTemporary(path)) continue;
        if (!Holds(e.oldFlash.files, path, content) && !Holds(e.card.files, path, content))
            return "torn: " + flash.spelled.at(path) + " (" + std::to_string(content.size()) + " bytes, neither version)";
    }
    for (const std::string &path : flash.folders)
        if (!e.oldFlash.folders.count(path) && !e.card.folders.count(path)) return "stray folder: " + flash.spelled.at(path);
    // What the update keeps of the flash store (the uninterrupted run kept it, the card does
    // not replace it) is there at every moment.
    for (const auto &[path, content] : e.oldFlash.files)
        if (e.endFlash.files.count(path) && !e.card.files.count(path) && !flash.files.count(path))
            return "lost from the flash store: " + path;
    for (const std::string &path : e.oldFlash.folders)
        if (e.endFlash.folders.count(path) && !e.card.folders.count(path) && !flash.folders.count(path))
            return "lost folder of the flash store: " + path;
    for (const auto &[marker, content] : e.card.files) {
        const std::string folder = PlannedFolder(marker);
        if (folder.empty() || cardFolder.files.count(marker)) continue;
        for (const auto &[path, c] : flash.files)
            if (IsWithin(path, folder) && e.oldFlash.files.count(path) && !e.card.files.count(path) && !e.endFlash.files.count(path))
                return "marker " + marker + " gone, but " + path + " is back";
        for (const std::string &path : flash.folders)
            if (IsWithin(path, folder) && e.oldFlash.folders.count(path) && !e.card.folders.count(path) && !e.endFlash.folders.count(path))
                return "marker " + marker + " gone, but folder " + path + " is back";
    }
    return "";
}

std::string CardGoneUnsound(const Expected &e, const FoldedTree &before, const FoldedTree &after,
                            const VacatedFiles &vacated, bool bRecovery, long &nInPlace) {
    nInPlace = 0;
    if (!after.clash.empty()) return "two spellings of one name in the flash store: " + after.clash;
    // A marker is brought too in keep-source mode; a marker's folder goes whatever the mode.
    auto brought = [&e](const std::string &path) { return e.card.files.count(path) != 0; };
    auto inMarkedFolder = [&e](const std::string &path) {
        for (const auto &[marker, content] : e.card.files)
            if (!PlannedFolder(marker).empty() && IsWithin(path, PlannedFolder(marker))) return true;
        return false;
    };
    for (const auto &[path, content] : after.files) {
        if (IsTemporary(path)) {
            if (bRecovery) return "left the temporary " + after.spelled.at(path);
            continue;
        }
        if (!Holds(e.oldFlash.files, path, content) && !Holds(e.card.files, path, content))
            return "torn: " + after.spelled.at(path) + " (" + std::to_string(content.size()) + " bytes, neither version)";
    }
    for (const auto &[path, content] : e.oldFlash.files) {
        // Replaced in place: removed while the free room could not hold the new version's
        // blocks beside it and what the record's slots may still take. Removed with room to
        // spare, the old version went too soon.
        const auto gone = vacated.find(path);
        const bool bVacated = gone != vacated.end();
        const bool bInPlace = bVacated && brought(path) && !inMarkedFolder(path) &&
                              gone->second < (e.card.files.at(path).size() + kBlock - 1) / kBlock * kBlock + kRecordRoom;
        nInPlace += bInPlace;
        if (after.files.count(path) || bInPlace || (bVacated && (!brought(path) || inMarkedFolder(path)))) continue;
        if (brought(path) && bVacated)
            return "gone: " + path + " (the update replaces it; neither version is there, and its old version was "
                   "removed with " + std::to_string(gone->second) + " bytes free: room for the new one beside it)";
        if (brought(path)) return "gone: " + path + " (the update replaces it; neither version is there)";
        if (e.endFlash.files.count(path)) return "lost from the flash store: " + path;
    }
    for (const std::string &path : e.oldFlash.folders)
        if (e.endFlash.folders.count(path) && !inMarkedFolder(path) && !after.folders.count(path))
            return "lost folder of the flash store: " + path;
    for (const std::string &path : after.folders)
        if (!e.oldFlash.folders.count(path) && !e.card.folders.count(path)) return "stray folder: " + after.spelled.at(path);
    // With no card the start has nothing to bring: it may finish or undo what the cut left
    // halfway, and change nothing else.
    for (const auto &[path, content] : before.files) {
        if (IsTemporary(path) || brought(path)) continue;
        auto it = after.files.find(path);
        if (it == after.files.end()) return "the start with no card removed " + before.spelled.at(path);
        if (it->second != content) return "the start with no card changed " + before.spelled.at(path);
    }
    for (const auto &[path, content] : after.files)
        if (!IsTemporary(path) && !brought(path) && !before.files.count(path))
            return "the start with no card made " + after.spelled.at(path);
    for (const std::string &path : before.folders)
        if (!after.folders.count(path) && !e.card.folders.count(path)) return "the start with no card removed the folder " + before.spelled.at(path);
    for (const std::string &path : after.folders)
        if (!before.folders.count(path)) return "the start with no card made the folder " + after.spelled.at(path);
    return "";
}

std::string UpdateNotDone(const Expected &e, bool bKeepSource) {
    const FoldedTree endFolder = CardFolderOf(e.endCard);
    for (const auto &[path, content] : e.card.files)
        if (!IsMarker(path) && !Holds(e.endFlash.files, path, content)) return "did not bring " + path + " into the flash store";
    for (const std::string &path : e.card.folders)
        if (!e.endFlash.folders.count(path)) return "did not make the folder " + path;
    for (const auto &[path, content] : e.endFlash.files)
        if (IsTemporary(path)) return "left the temporary " + path;
    for (const auto &[marker, content] : e.card.files) {
        const std::string folder = PlannedFolder(marker);
        if (folder.empty() || bKeepSource) continue;
        for (const auto &[path, c] : e.oldFlash.files)
            if (IsWithin(path, folder) && !e.card.files.count(path) && e.endFlash.files.count(path))
                return "did not delete " + path + " (" + marker + ")";
    }
    if (bKeepSource) {
        if (endFolder.files != e.card.files) return "changed the card in keep-source mode";
    } else if (!endFolder.files.empty() || !endFolder.folders.empty()) {
        return "left the card folder with " + std::to_string(endFolder.files.size()) + " files";
    }
    return "";
}
