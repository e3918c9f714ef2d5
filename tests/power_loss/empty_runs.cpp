// A walk takes a step for every entry it lists, a folder's own after its children's. An
// empty folder gives the I/O threads nothing to do: a folder that holds many empty folders,
// or a chain of empty folders one inside the other, hands the entry queue a long run of
// steps with no work, and each file right after the run (a large one keeps a thread busy
// while the walk goes on) must still be worked once, by one thread, before its step.
//
// The order a walk meets names: powercutfs lists a folder's names in byte order (a folder
// keeps them in a std::map), whatever order they were made in, and Wine sorts every listing
// again before the program sees it, by name without regard to letter case, digits before
// letters. So the order of creation counts for nothing and the names decide: each part of a
// shape is named after its place, a leading digit, "0f1.bin" before "1e00" ... "1e37"
// before "2f1.bin", all in lower case, which both orders agree on.
#include "empty_runs.h"
#include "seeded.h"

#include <algorithm>

namespace {

constexpr size_t kShapeBytesPerSide = 2048 * 1024;   // the shapes' files, on top of the tree's
constexpr int kLevelsDeepest = 45;   // "cNN/" a level: 180 characters, far below a path's 259

class ShapeDrawer {
public:
    ShapeDrawer(uint64_t seed, bool bShort) : m_rng(Mix(seed ^ 0x656d7074792d7275ull)), m_bShort(bShort) {}

    // A child of folder: on the folder's sides; below a folder on both, mostly on both,
    // else new on the card, now and then only in the flash store.
    Name &Add(Name &folder, const std::string &name, bool bFolder) {
        Name child;
        child.name = child.flashSpelling = child.cardSpelling = name;
        child.bFolder = bFolder;
        child.bFlash = folder.bFlash;
        child.bCard = folder.bCard;
        if (folder.bFlash && folder.bCard) {
            const unsigned r = unsigned(m_rng.Below(10));
            child.bCard = r < 9;     // 9: flash only
            child.bFlash = r >= 4;   // 0-3: card only
        }
        folder.children.push_back(std::move(child));
        return folder.children.back();
    }

    // Large: past twice the copy buffer, up to sixteen times it, so that a thread is busy with
    // it while the walk goes on listing; just past twice it once the side's bytes are spent.
    size_t Size(bool bLarge, size_t &budget) {
        if (!bLarge) return size_t(m_rng.Between(0, 3000));
        size_t size = size_t(m_rng.Between(2 * kCopyBuffer + 1, 16 * kCopyBuffer));
        if (size > budget) size = 2 * kCopyBuffer + 1;
        budget -= std::min(budget, size);
        return size;
    }

    // The parts of one shape, in listing order; each a few words of the device's line.
    std::string Files(Name &host, int place, bool bLarge, long nMost) {
        const long n = m_rng.Between(1, nMost);
        for (long i = 1; i <= n; ++i) {
            Name &f = Add(host, std::to_string(place) + "f" + std::to_string(i) + ".bin", false);
            if (f.bCard) f.cardSize = Size(bLarge, m_cardBytes);
            if (f.bFlash) f.flashSize = Size(bLarge, m_flashBytes);
        }
        return std::to_string(n) + (bLarge ? " large file" : " file") + (n > 1 ? "s" : "");
    }
    std::string Run(Name &host, int place) {
        const long n = m_bShort ? m_rng.Between(2, 5) : m_rng.Between(20, 60);
        for (long i = 0; i < n; ++i) Add(host, std::to_string(place) + "e" + (i < 10 ? "0" : "") + std::to_string(i), true);
        return std::to_string(n) + " empty folders";
    }
    std::string Chain(Name &host, int place) {
        const long levels = m_bShort ? m_rng.Between(2, 5) : m_rng.Between(20, kLevelsDeepest);
        Name *pLevel = &Add(host, std::to_string(place) + "c", true);
        for (long i = 1; i < levels; ++i) pLevel = &Add(*pLevel, "c" + std::to_string(i), true);
        if (!m_rng.Chance(30)) return "a chain of " + std::to_string(levels) + " empty folders";
        Files(*pLevel, 0, false, 3);
        return "a chain of " + std::to_string(levels) + " folders, files at the bottom";
    }

    // A shape in a folder of its own, on the sides drawn: new on the card, on both, or only
    // in the flash store (kept, or removed by a delete marker).
    // A run that the I/O threads met asleep, after work of their own, and several files
    // right after it is what the queue has most to keep in order.
    std::string Shape(Name &host) {
        std::string parts;
        auto part = [&parts](const std::string &what) { parts += (parts.empty() ? "" : ", ") + what; };
        int place = 0;
        if (m_rng.Chance(60)) {   // many empty folders, with files before, between and after
            if (m_rng.Chance(70)) part(Files(host, place++, false, 5));
            part(Run(host, place++));
            part(Files(host, place++, m_rng.Chance(60), 6));
            if (m_rng.Chance(35)) {
                part(Run(host, place++));
                part(Files(host, place++, true, 3));
            }
        } else {                  // a chain of them, then files
            part(Chain(host, place++));
            part(Files(host, place++, m_rng.Chance(70), 4));
        }
        return parts;
    }

    Seeded m_rng;

private:
    bool m_bShort;   // runs and chains of 2 to 5 folders
    size_t m_cardBytes = kShapeBytesPerSide, m_flashBytes = kShapeBytesPerSide;
};

} // namespace

EmptyRuns AddEmptyRuns(Name &top, uint64_t seed, bool bShort) {
    ShapeDrawer draw(seed, bShort);
    Seeded &rng = draw.m_rng;
    EmptyRuns added;
    const long shapes = rng.Between(1, 3);
    for (long i = 1; i <= shapes; ++i) {
        Name host;
        host.name = host.flashSpelling = host.cardSpelling = std::to_string(i) + "runs";
        host.bFolder = host.bShape = true;
        const unsigned sides = unsigned(rng.Below(20));
        host.bCard = sides < 17;    // 17-19: flash only
        host.bFlash = sides >= 11;  // 0-10: card only
        // At the top, or inside a folder of the tree that is on the host's sides.
        std::vector<Name *> within;
        for (Name &c : top.children)
            if (c.bFolder && !c.bShape && (c.bFlash || !host.bFlash) && (c.bCard || !host.bCard)) within.push_back(&c);
        Name *pParent = within.empty() || rng.Chance(55) ? &top : within[rng.Below(within.size())];
        const std::string parts = draw.Shape(host);
        const bool bMarked = pParent == &top && host.bFlash && rng.Chance(50);
        if (bMarked) added.deleted.push_back(host.name);
        added.summary += "; " + (pParent == &top ? "" : (pParent->bFlash ? pParent->flashSpelling : pParent->cardSpelling) + "/") + host.name +
                         (host.bCard ? host.bFlash ? " (both" : " (card" : " (flash") + (bMarked ? ", delete marker): " : "): ") + parts;
        pParent->children.push_back(std::move(host));
    }
    return added;
}
