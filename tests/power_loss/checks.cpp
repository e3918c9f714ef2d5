#include "checks.h"

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
