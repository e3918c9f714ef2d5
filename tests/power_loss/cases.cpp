#include "cases.h"
#include "daemon.h"
#include "harness.h"
#include "seeded.h"

#include <algorithm>

namespace {

PowercutMount g_flash("flash"), g_card("card");
long g_changes = 0, g_cardRequests = 0;

fs::path FlashFolder() { return g_places.root / "ResidentFlash"; }
fs::path CardRoot() { return g_places.root / "SDMMC"; }
FoldedTree FlashNow() { return Fold(ReadTree(FlashFolder())); }
FoldedTree CardNow() { return Fold(ReadTree(CardRoot())); }

void ResetDevice() {
    g_flash.Control("reset");
    g_card.Control("reset");
}

long Changes(PowercutMount &m) {
    long n = 0;
    for (const char *key : {"fsync", "fsyncdir", "renames", "creates", "mkdirs", "unlinks", "rmdirs"}) n += long(m.Stat(key));
    return n;
}

Outcome Problem(const std::string &what, const RunEnd &end) {
    Outcome o;
    o.problem = what + " " + end.Describe();
    o.bCrash = end.signal != 0;
    return o;
}

// The run after a cut or a pull, on the device as it came back: it ends as a run does and
// leaves both folders exactly as one uninterrupted run does.
Outcome Converges(const Expected &e) {
    const RunEnd end = RunProgram(0);
    if (end.code != 0) return Problem("the run after it", end);
    Outcome o;
    std::string diff = FirstDifference(e.endFlash, FlashNow());
    if (!diff.empty()) o.problem = "the run after it left another flash store: " + diff;
    else if (!(diff = FirstDifference(e.endCard, CardNow())).empty()) o.problem = "the run after it left another card: " + diff;
    return o;
}

} // namespace

std::string Loss::Card() const {
    if (flash.rfind("mixed ", 0) != 0) return flash;
    return "mixed " + std::to_string(Mix(std::stoull(flash.substr(6))) % 1000000000);
}

void MountDevice() {
    fs::create_directories(FlashFolder());
    fs::create_directories(CardRoot());
    g_flash.Start(FlashFolder().string(), (g_places.work / "flash.sock").string(), false);
    // The card folder itself is removed and made again by the program: the card's root is
    // the mount. Uncached, so that every lookup is a request a pull can fail.
    g_card.Start(CardRoot().string(), (g_places.work / "card.sock").string(), true);
}

Expected SetUpDevice(const Device &d) {
    const fs::path t = g_places.work / "template";
    fs::remove_all(t);
    WriteTree(t / "ResidentFlash", d.flash);
    WriteTree(t / "SDMMC", d.card);
    g_flash.Control("load " + (t / "ResidentFlash").string());
    g_card.Control("load " + (t / "SDMMC").string());
    g_flash.Control("capacity " + std::to_string(d.capacity));
    ResetDevice();
    if (g_flash.Stat("used") != long(BlocksOf(d.flash) * kBlock)) Fail("the flash store does not take the room the device was drawn with");

    Expected e;
    e.oldFlash = Fold(d.flash);
    e.card = CardFolderOf(Fold(d.card));
    if (!e.oldFlash.clash.empty() || !e.card.clash.empty()) Fail("a device was drawn with two spellings of one name");
    const RunEnd end = RunProgram(0);
    if (end.code != 0) Fail("an uninterrupted run " + end.Describe());
    e.endFlash = FlashNow();
    e.endCard = CardNow();
    g_changes = Changes(g_flash) + Changes(g_card);
    g_cardRequests = long(g_card.Stat("requests"));
    const std::string wrong = UpdateNotDone(e, d.bKeepSource);
    if (!wrong.empty() && !d.capacity) Fail("an uninterrupted run " + wrong);
    e.shortfall = wrong;
    // An update that does not fit stays on the card for the next start: whether that start
    // does the same or brings more is worth knowing when a cut's run brings more.
    if (!wrong.empty()) {
        const RunEnd again = RunProgram(0);
        const std::string more = again.code ? again.Describe() : FirstDifference(e.endFlash, FlashNow());
        e.shortfall += more.empty() ? " (so does a second run)" : " (a second run: " + more + ")";
    }
    return e;
}

long EstimatedChanges() { return g_changes; }
long CardRequests() { return g_cardRequests; }

long CountCutPoints(long estimate) {
    // The file systems see every change that succeeded; a change that failed (a marker copy
    // that was not there) is a cut point as well: the estimate is low, seldom by much.
    auto cuts = [](long k) { return CutAt(k).code != 0; };
    long within = 0, beyond = 0, k = std::max(1L, estimate);
    if (cuts(k)) {
        within = k;
        for (long step = 1; !beyond; step *= 2) {
            if (cuts(within + step)) within += step;
            else beyond = within + step;
        }
    } else {
        beyond = k;
    }
    while (beyond - within > 1) {
        const long mid = within + (beyond - within) / 2;
        if (cuts(mid)) within = mid;
        else beyond = mid;
    }
    return within;
}

RunEnd CutAt(long k) {
    ResetDevice();
    return RunProgram(k);
}

Outcome AfterCut(const Expected &e, const Loss &loss, bool bFirst) {
    const char *verb = bFirst ? "cut " : "recut ";
    g_flash.Control(verb + loss.flash);
    g_card.Control(verb + loss.Card());
    Outcome o;
    o.problem = Unsound(e, FlashNow(), CardFolderOf(CardNow()));
    return o.problem.empty() ? Converges(e) : o;
}

Outcome PulledAt(const Expected &e, long j, const Loss &loss) {
    ResetDevice();
    g_card.Control("fail " + std::to_string(j));
    const RunEnd end = RunProgram(0);
    g_card.Control("fail 0");   // back in, as it was at the pull
    if (end.code != 0) return Problem("the run with the card pulled", end);
    Outcome o;
    const FoldedTree card = CardFolderOf(CardNow());
    o.problem = Unsound(e, FlashNow(), card);
    if (!o.problem.empty()) return o;
    // The device may then lose its power with the card still out.
    g_flash.Control("cut " + loss.flash);
    o.problem = Unsound(e, FlashNow(), card);
    if (!o.problem.empty()) o.problem = "after the power went: " + o.problem;
    return o.problem.empty() ? Converges(e) : o;
}

