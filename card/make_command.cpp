// make: the card that takes the flash store from NOW to NEW, or the causes why the device
// cannot make that change.
#include "card/card_commands.h"
#include "card/card_plan.h"
#include "card/card_writer.h"
#include "card/console_text.h"
#include "card/room_simulation.h"
#include "update/run/result_record.h"
#include "update/storage/paths.h"

namespace {

std::wstring Bytes(ULONGLONG cb) { return Count(cb, L"byte"); }

bool IsWithin(const std::wstring &rel, const std::wstring &top) {
    return rel.size() > top.size() && rel.compare(0, top.size(), top) == 0 && rel[top.size()] == L'/';
}

struct Counts {
    int nFiles = 0, nFolders = 0;
    ULONGLONG cbBytes = 0;
};

// The content the card copies, all of it or what goes into one top-level folder.
Counts Copied(const CardPlan &plan, const std::wstring &top = L"") {
    Counts counts;
    for (const CardItem &item : plan.items) {
        if (!item.pSource || (!top.empty() && !IsWithin(item.rel, top))) continue;
        if (item.bFolder) ++counts.nFolders;
        else ++counts.nFiles, counts.cbBytes += item.pSource->cbSize;
    }
    return counts;
}

void PrintCard(const CardOptions &o, const CardPlan &plan) {
    const Counts all = Copied(plan);
    Out(L"The card " + o.card + L" holds:");
    Out(L"  " + Count(all.nFiles, L"file") + L" (" + Bytes(all.cbBytes) + L") and " + Count(all.nFolders, L"folder") + L" to copy");
    if (!plan.replaced.empty())
        Out(L"  " + Count(plan.replaced.size(), L"folder") + L" of the flash store replaced (removed by its marker, then copied anew):");
    for (const Replacement &r : plan.replaced) {
        const TreeCounts old = CountTree(*r.pNow);
        const Counts copied = Copied(plan, r.pNow->name);
        Out(L"    " + r.pNow->name + L" (" + r.marker + L"): removes " + Count(old.nFiles, L"file") + L" and " +
            Count(old.nFolders, L"folder") + L", copies in " + Count(copied.nFiles, L"file") + L" (" + Bytes(copied.cbBytes) + L")");
    }
    std::wstring markers;
    for (const CardItem &item : plan.items)
        if (!item.pSource) markers += (markers.empty() ? L"" : L", ") + item.rel;
    Out(L"  markers: " + markers);
}

void PrintRoom(const CardOptions &o, const RoomVerdict &v) {
    Out(L"Room in a flash store of " + Bytes(o.cbFlashSize) + L", allocation unit " + Bytes(o.cbCluster) + L":");
    if (!v.bNowFits) {
        Out(L"  NOW alone takes " + Bytes(v.cbNowTakes) + L": it does not fit the store");
        return;
    }
    Out(L"  NOW takes " + Bytes(v.cbNowTakes) + L", " + Bytes(v.cbFreeAtStart) + L" free; " +
        Bytes(v.cbFreeAfterDeletions) + L" free once the marker folders are removed");
    if (!v.bFits) {
        Out(L"  the update does not fit: the copy finds no room for " + Count(v.noRoom.size(), L"entry"));
        for (const std::wstring &line : v.noRoom) Out(L"    " + line);
        return;
    }
    Out(L"  the update fits: " + Bytes(v.cbLeastFree) + L" free at the tightest moment" +
        (v.leastAt.empty() ? L"" : L" (writing " + v.leastAt + L")") + L", " + Bytes(v.cbFreeAtEnd) + L" at the end" +
        (v.nInPlace ? L"; " + Count(v.nInPlace, L"file") + L" replaced in place (the old version removed first)" : L""));
}

} // namespace

int RunMake(const CardOptions &o) {
    HostEntry now, next;
    std::wstring error;
    if (!ReadHostTree(o.from, now, error) || !ReadHostTree(o.to, next, error)) {
        Err(L"TessivardCard: " + error);
        return kCannot;
    }
    CardPlan plan;
    if (!PlanCard({o.from, o.to, &now, &next, o.bKeepSource}, plan, error)) {
        Err(L"TessivardCard: " + error);
        return kCannot;
    }
    if (!plan.refusals.empty()) {
        for (const std::wstring &line : plan.refusals) Out(L"refused: " + line);
        Out(L"Nothing was written: the device cannot make " + std::to_wstring(plan.refusals.size()) +
            (plan.refusals.size() == 1 ? L" change." : L" changes."));
        return kRefused;
    }
    RoomVerdict room;
    if (o.bFlashSize) room = SimulateRoom(plan, now, o.bKeepSource, o.cbFlashSize, o.cbCluster);
    if (o.bFlashSize && !room.bFits) {
        PrintRoom(o, room);
        Out(L"refused: the update does not fit the flash store");
        Out(L"Nothing was written.");
        return kRefused;
    }
    if (RemoveLoneResult(o.card))
        Out(L"removed " + ShownBelow(o.card, kCardResultName) + L": a device's record of its last run with the card, no part of a card");
    if (!WriteCard(o.card, o.to, plan, !o.bNoManifest, o.bSequence ? &o.sequence : nullptr, error)) {
        Err(L"TessivardCard: " + error);
        return kCannot;
    }
    PrintCard(o, plan);
    if (o.bKeepSource) Out(L"  keep-source mode: the device keeps the card as it is and removes nothing");
    Out(o.bNoManifest ? L"  no manifest: the device applies the card as it finds it, unchecked"
                      : L"  manifest " + std::wstring(kManifestName) +
                            (o.bSequence ? L" (sequence " + std::to_wstring(o.sequence) + L")" : L"") +
                            L": the device applies only the whole card; this catches damage, not forgery: anyone can write a"
                            L" manifest anew, and only a signature and a keyed device stop that");
    if (o.bFlashSize) PrintRoom(o, room);
    return kDone;
}
