// The generated devices. A device is drawn as one tree of names, each on the flash store, on
// the card or on both, with a spelling of its own on each side; so the card's "MAPS/Seoul.map"
// replaces the flash store's "maps/seoul.map", and no folder ever holds two spellings of
// one name.
#include "device.h"
#include "drawn_names.h"
#include "empty_runs.h"
#include "seeded.h"

#include <algorithm>
#include <cctype>

namespace {

const std::vector<std::string> kFolderNames = {"maps", "poi", "voice", "data", "fonts", "regions", "tiles", "sub", "old", "lang"};
const std::vector<std::string> kFileNames = {"seoul.map", "busan.map", "jeju.map", "a.bin", "b.bin", "index.dat",
                                             "voice.ogg", "poi.db", "x1", "settings.ini", "font.ttf", "readme.txt"};
const std::vector<std::string> kImageFiles = {"Data.fai", "nk.rom", "tcBoot.rom"};
constexpr size_t kBytesPerSide = 1200 * 1024;   // keeps a run short: a cut costs a run or more

class Drawer {
public:
    explicit Drawer(uint64_t seed) : m_rng(seed), m_seed(seed) {}

    std::string Spell(const std::string &name) {
        std::string s = name;
        switch (m_rng.Below(5)) {
        case 0: case 1: break;   // as it is
        case 2: for (char &c : s) c = char(std::toupper(c)); break;
        case 3: s[0] = char(std::toupper(s[0])); break;
        default: for (char &c : s) if (m_rng.Chance(50)) c = char(std::toupper(c)); break;
        }
        return s;
    }

    // Around the copy buffer's size most often: one byte short of it, on it, one past it,
    // and the same around twice it; else small, empty, or some other size.
    size_t Size(size_t &budget) {
        size_t size;
        const unsigned r = unsigned(m_rng.Below(100));
        if (r < 8) size = 0;
        else if (r < 40) size = size_t(m_rng.Between(1, 3000));
        else if (r < 85) size = kCopyBuffer * size_t(m_rng.Between(1, 2)) + size_t(m_rng.Between(-1, 1));
        else size = size_t(m_rng.Between(3000, 200000));
        if (size > budget) size = size_t(m_rng.Between(0, 500));
        budget -= std::min(budget, size);
        return size;
    }

    // The children of a folder that is on the sides given; depth 0 is the top folder.
    void Grow(Name &folder, int depth) {
        const long n = depth == 0 ? m_rng.Between(4, 7) : m_rng.Chance(15) ? 0 : m_rng.Between(1, 5);
        for (long i = 0; i < n; ++i) {
            const bool bFolder = depth < 3 && m_rng.Chance(depth == 0 ? 60 : 35);
            const std::string &name = m_rng.Pick(bFolder ? kFolderNames : kFileNames);
            if (std::any_of(folder.children.begin(), folder.children.end(), [&](const Name &c) { return c.name == name; }))
                continue;
            Name child;
            child.name = name;
            child.bFolder = bFolder;
            const unsigned sides = folder.bFlash && folder.bCard ? unsigned(m_rng.Below(10)) : 0;
            child.bFlash = folder.bFlash && (!folder.bCard || sides < 7);   // 0-1: flash only
            child.bCard = folder.bCard && (!folder.bFlash || sides >= 2);   // 7-9: card only
            child.flashSpelling = Spell(name);
            child.cardSpelling = Spell(name);
            if (bFolder) Grow(child, depth + 1);
            else {
                if (child.bFlash) child.flashSize = Size(m_flashBudget);
                if (child.bCard) child.cardSize = Size(m_cardBudget);
            }
            folder.children.push_back(std::move(child));
        }
    }

    // The tree's names on one side into t, below prefix (spelled).
    void Lay(const Name &folder, bool bCard, const std::string &prefix, Tree &t) {
        for (const Name &c : folder.children) {
            if (!(bCard ? c.bCard : c.bFlash)) continue;
            const std::string path = prefix + (bCard ? c.cardSpelling : c.flashSpelling);
            if (c.bFolder) {
                t.folders.insert(path);
                Lay(c, bCard, path + "/", t);
            } else {
                t.files[path] = Bytes((bCard ? "card " : "flash ") + Lower(path) + " " + std::to_string(m_seed),
                                      bCard ? c.cardSize : c.flashSize);
            }
        }
    }

    Seeded m_rng;

private:
    uint64_t m_seed;
    size_t m_flashBudget = kBytesPerSide, m_cardBudget = kBytesPerSide;
};

// The flash store's blocks after the update, the marker deletions done first.
unsigned long long EndBlocks(const Name &folder, const std::vector<std::string> &deleted, bool bFlashGone) {
    unsigned long long blocks = 0;
    for (const Name &c : folder.children) {
        const bool bGone = bFlashGone || std::count(deleted.begin(), deleted.end(), c.name);
        if (!(c.bFlash && !bGone) && !c.bCard) continue;
        if (c.bFolder) blocks += 1 + EndBlocks(c, {}, bGone);
        else blocks += ((c.bCard ? c.cardSize : c.flashSize) + kBlock - 1) / kBlock;
    }
    return blocks;
}

} // namespace

Device GeneratedDevice(uint64_t seed, bool bLittleRoom, bool bEmptyRuns, bool bShortRuns) {
    Drawer draw(seed);
    Seeded &rng = draw.m_rng;
    Name top;
    top.bFlash = top.bCard = true;
    draw.Grow(top, 0);
    const EmptyRuns shapes = bEmptyRuns ? AddEmptyRuns(top, seed, bShortRuns) : EmptyRuns();

    Device d;
    draw.Lay(top, false, "", d.flash);
    d.card.folders.insert("ResidentFlash");
    draw.Lay(top, true, "ResidentFlash/", d.card);

    // Markers: the update marker, sometimes keep-source, and delete markers for folders of
    // the flash store (any spelling of the name and of the prefix) and for absent ones.
    std::string markers;
    std::vector<std::string> deleted;
    auto mark = [&](const std::string &name, const char *what) {
        const std::string marker = rng.Pick(std::vector<std::string>{"delete_", "delete_", "DELETE_", "Delete_"}) + draw.Spell(name);
        d.card.files["ResidentFlash/" + marker] = "";
        markers += " " + marker + what;
    };
    if (rng.Chance(85)) d.card.files["ResidentFlash/update"] = "";
    d.bKeepSource = rng.Chance(25);
    if (d.bKeepSource) d.card.files["ResidentFlash/undelete"] = "";
    for (const Name &c : top.children)
        if (!c.bShape && c.bFolder && c.bFlash && rng.Chance(40)) {
            mark(c.name, "");
            if (!d.bKeepSource) deleted.push_back(c.name);
        }
    for (const std::string &name : shapes.deleted) {
        d.card.files["ResidentFlash/delete_" + name] = "";
        if (!d.bKeepSource) deleted.push_back(name);
    }
    if (rng.Chance(50)) {
        const std::string &name = rng.Pick(kFolderNames);
        if (std::none_of(top.children.begin(), top.children.end(), [&](const Name &c) { return c.name == name; }))
            mark(name, " (absent)");
    }
    for (const std::string &image : kImageFiles)
        if (rng.Chance(60)) d.card.files[rng.Chance(80) ? image : Lower(image)] = "image " + image;
    if (rng.Chance(30)) d.card.files["keep.txt"] = "not the update's";

    // Little room: enough for the end state and the largest file beside it, or only just
    // enough, or less than the end state needs (then the update cannot go in).
    std::string room = "no limit";
    if (bLittleRoom || rng.Chance(25)) {
        const unsigned long long used = BlocksOf(d.flash), end = EndBlocks(top, deleted, false);
        size_t largest = 0;
        for (const auto &[path, content] : d.card.files) largest = std::max(largest, content.size());
        const unsigned long long need = std::max(used, end);
        unsigned long long blocks;
        switch (rng.Below(3)) {
        case 0: blocks = need + (largest + kBlock - 1) / kBlock; break;
        case 1: blocks = need + unsigned(rng.Between(0, 2)); break;
        default: blocks = used + (end > used ? (end - used) / 2 : 0); break;
        }
        d.capacity = blocks * kBlock;
        room = std::to_string(blocks) + " blocks (" + std::to_string(used) + " used, " + std::to_string(end) + " after)";
    }
    size_t cardFiles = 0;
    for (const auto &[path, content] : d.card.files) cardFiles += path.rfind("ResidentFlash/", 0) == 0;
    d.summary = std::to_string(d.flash.files.size()) + " flash files in " + std::to_string(d.flash.folders.size()) +
                " folders, " + std::to_string(cardFiles) + " card files in " + std::to_string(d.card.folders.size()) +
                " folders; room " + room + (d.bKeepSource ? "; keep-source" : "") + (markers.empty() ? "" : ";" + markers) +
                shapes.summary;
    return d;
}
