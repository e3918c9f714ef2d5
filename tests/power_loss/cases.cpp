#include "cases.h"
#include "daemon.h"
#include "harness.h"
#include "seeded.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

PowercutMount g_flash("flash"), g_card("card");
long g_changes = 0, g_cardRequests = 0;
std::vector<std::string> g_flashOptions, g_cardOptions;   // powercutfs's, for each mount
fs::path g_cardTemplate;                                   // what the card's daemon lays out

fs::path FlashFolder() { return g_places.root / "ResidentFlash"; }
fs::path CardRoot() { return g_places.root / "SDMMC"; }
// The run's result record, the flash store's and its copy in the card's root, is the device's
// account of the run, no content: whether it is there, and what it says, depends on where a cut
// fell. Every comparison of the two sides leaves it aside; the flash store's only when whole
// (its first line, down to its last, the version's), as its replacement leaves it after any
// cut: one cut short stays, and the comparison names it. The card's copy is written in place.
FoldedTree WithoutResult(FoldedTree tree, const std::string &name, bool bWhole) {
    const auto it = tree.files.find(name);
    const bool bCutShort = bWhole && it != tree.files.end() &&
                           (it->second.rfind("tessivard-result 1\noutcome ", 0) != 0 || it->second.back() != '\n' ||
                            it->second.find("\nversion ") == std::string::npos);
    if (bCutShort) return tree;
    tree.files.erase(name);
    tree.spelled.erase(name);
    return tree;
}
FoldedTree FlashNow() { return WithoutResult(Fold(ReadTree(FlashFolder())), "~tessivard-result", true); }
FoldedTree CardNow() { return WithoutResult(Fold(ReadTree(CardRoot())), "tessivard-result.txt", false); }

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

// POWER_LOSS_SHOW=1: both folders before and after the run after a case, to see what it met.
void Show(const char *when) {
    if (!std::getenv("POWER_LOSS_SHOW")) return;
    for (auto [name, tree] : {std::pair{"flash", FlashNow()}, std::pair{"card", CardNow()}}) {
        std::printf("%s, %s (used %lld):\n", when, name, g_flash.Stat("used"));
        for (const auto &f : tree.folders) std::printf("  %s/\n", f.c_str());
        for (const auto &[p, c] : tree.files) std::printf("  %s %zu\n", p.c_str(), c.size());
    }
}

// How the device differs from the folders given; "" when it does not.
std::string DiffersFrom(const FoldedTree &flash, const FoldedTree &card) {
    std::string diff = FirstDifference(flash, FlashNow());
    if (!diff.empty()) return "another flash store: " + diff;
    diff = FirstDifference(card, CardNow());
    return diff.empty() ? "" : "another card: " + diff;
}

// Runs the program until a run changes neither folder, at most `most` + 1 runs: how many
// runs changed something (most + 1: it still changes), or -1 with end set when a run did
// not end with exit code 0.
int RunUntilSettled(int most, RunEnd &end) {
    for (int n = 0; n <= most; ++n) {
        const FoldedTree flash = FlashNow(), card = CardNow();
        end = RunProgram(0);
        if (end.code != 0) return -1;
        if (DiffersFrom(flash, card).empty()) return n;
    }
    return most + 1;
}

// The run after a cut or a pull, on the device as it came back: it ends as a run does and
// leaves both folders exactly as one uninterrupted run does. On a store with little room an
// update may not go in by one run, and what goes in depends on the order in which files
// meet the room, which two I/O threads vary from run to run: two uninterrupted runs from
// the same start can differ. There the runs after the case must settle where the runs from
// the start settled, or with the whole update in, or where another run from the start
// settles (Outcome::bOtherOrder, judged once the device's cases are done).
Outcome Converges(const Expected &e) {
    Show("before the run after it");
    RunEnd end = RunProgram(0);
    Show("after the run after it");
    if (end.code != 0) return Problem("the run after it", end);
    Outcome o;
    const std::string diff = DiffersFrom(e.endFlash, e.endCard);
    if (diff.empty()) return o;
    if (!e.bLimitedRoom) {
        o.problem = "the run after it left " + diff;
        return o;
    }
    const int n = RunUntilSettled(kMaxRunsToSettle, end);
    if (n < 0) return Problem("a later run after it", end);
    if (n > kMaxRunsToSettle) {
        o.problem = "the runs after it still change the device after " + std::to_string(n + 1) + " runs";
        return o;
    }
    const std::string settled = DiffersFrom(e.settledFlash, e.settledCard);
    if (settled.empty()) return o;
    Expected now = e;
    now.endFlash = FlashNow();
    now.endCard = CardNow();
    const std::string undone = UpdateNotDone(now, e.bKeepSource);
    if (!undone.empty()) {
        o.problem = "the runs after it settled on " + settled + ", and it " + undone + " (the first of them left " + diff + ")";
        o.bOtherOrder = true;
        o.settledFlash = now.endFlash;
        o.settledCard = now.endCard;
    }
    return o;
}

// An uninterrupted run on the device as it is.
void RunWhole() {
    const RunEnd end = RunProgram(0, ResetDevice);
    if (end.code != 0) Fail("an uninterrupted run " + end.Describe());
}

// Later uninterrupted runs, until one changes nothing: how many changed the device.
int RunsToSettle() {
    RunEnd end;
    const int n = RunUntilSettled(kMaxRunsToSettle, end);
    if (n < 0) Fail("a later uninterrupted run " + end.Describe());
    if (n > kMaxRunsToSettle) Fail("the update still changes the device after " + std::to_string(n + 1) + " runs");
    return n;
}

} // namespace

void SettleFromStart(FoldedTree &flash, FoldedTree &card) {
    ResetDevice();
    RunWhole();
    RunsToSettle();
    flash = FlashNow();
    card = CardNow();
}

bool SameSettling(const Outcome &settled, const FoldedTree &flash, const FoldedTree &card) {
    return FirstDifference(settled.settledFlash, flash).empty() && FirstDifference(settled.settledCard, card).empty();
}

std::string Loss::Card() const {
    if (flash.rfind("mixed ", 0) != 0) return flash;
    return "mixed " + std::to_string(Mix(std::stoull(flash.substr(6))) % 1000000000);
}

void MountDevice(bool bRefuseReplace, bool bVolumeFlush) {
    fs::create_directories(FlashFolder());
    fs::create_directories(CardRoot());
    if (bRefuseReplace) g_flashOptions.push_back("--refuse-replace");
    if (bVolumeFlush) g_flashOptions.push_back("--volume-flush");
    g_cardOptions = g_flashOptions;
    // The card folder itself is removed and made again by the program: the card's root is
    // the mount. Uncached, so that every lookup is a request a pull can fail.
    g_cardOptions.push_back("--uncached");
    g_flash.Start(FlashFolder().string(), (g_places.work / "flash.sock").string(), g_flashOptions);
    g_card.Start(CardRoot().string(), (g_places.work / "card.sock").string(), g_cardOptions);
}

Expected SetUpDevice(const Device &d) {
    const fs::path t = g_places.work / "template";
    fs::remove_all(t);
    WriteTree(t / "ResidentFlash", d.flash);
    WriteTree(t / "SDMMC", d.card);
    g_cardTemplate = t / "SDMMC";
    g_flash.Control("load " + (t / "ResidentFlash").string());
    g_card.Control("load " + g_cardTemplate.string());
    g_flash.Control("capacity " + std::to_string(d.capacity));
    ResetDevice();
    if (g_flash.Stat("used") != long(BlocksOf(d.flash) * kBlock)) Fail("the flash store does not take the room the device was drawn with");

    Expected e;
    e.bLimitedRoom = d.capacity != 0;
    e.bKeepSource = d.bKeepSource;
    e.oldFlash = Fold(d.flash);
    e.card = CardFolderOf(Fold(d.card));
    if (!e.oldFlash.clash.empty() || !e.card.clash.empty()) Fail("a device was drawn with two spellings of one name");
    // The cut build lists this run's changes (by_kind.cpp), in the device root beside both mounts.
    fs::remove(ChangeList());
    setenv("TESSIVARD_CHANGES", "\\changes", 1);
    RunWhole();
    unsetenv("TESSIVARD_CHANGES");
    e.endFlash = FlashNow();
    e.endCard = CardNow();
    g_changes = Changes(g_flash) + Changes(g_card);
    g_cardRequests = long(g_card.Stat("requests"));
    const std::string wrong = UpdateNotDone(e, d.bKeepSource);
    if (!wrong.empty() && !d.capacity) Fail("an uninterrupted run " + wrong);
    e.shortfall = wrong;
    if (!wrong.empty()) {
        const int n = RunsToSettle();
        e.nRunsToSettle = 1 + n;
        e.shortfall += n == 0 ? " (so do later runs)" : " (settled after " + std::to_string(1 + n) + " runs)";
    }
    e.settledFlash = FlashNow();
    e.settledCard = CardNow();
    Show("where runs from the start settle");
    return e;
}

fs::path ChangeList() { return g_places.root / "changes"; }
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
    return RunProgram(k, ResetDevice);
}

Outcome AfterCut(const Expected &e, const Loss &loss, bool bFirst) {
    const char *verb = bFirst ? "cut " : "recut ";
    g_flash.Control(verb + loss.flash);
    g_card.Control(verb + loss.Card());
    Outcome o;
    o.problem = Unsound(e, FlashNow(), CardFolderOf(CardNow()));
    return o.problem.empty() ? Converges(e) : o;
}

Outcome PulledAt(const Expected &e, long j, const Loss &loss, VacatedFiles *pVacated) {
    auto pulled = [j] {
        ResetDevice();
        g_card.Control("fail " + std::to_string(j));
    };
    pulled();
    const RunEnd end = RunProgram(0, pulled);
    g_card.Control("fail 0");   // back in, as it was at the pull
    if (pVacated) *pVacated = Vacated();
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


VacatedFiles Vacated() {
    const std::string reply = g_flash.Control("vacated");
    VacatedFiles paths;
    for (size_t at = reply.find(' '); at != reply.npos;) {
        const size_t end = reply.find(' ', at + 1);
        const std::string word = reply.substr(at + 1, end == reply.npos ? reply.npos : end - at - 1);
        const size_t colon = word.find(':');
        if (colon == 0 || colon == word.npos || word.find_first_not_of("0123456789") != colon)
            Fail("powercutfs's vacated list is not FREE:PATH: " + word);
        const unsigned long long cbFree = std::stoull(word.substr(0, colon));
        std::string path;
        for (size_t i = colon + 1; i < word.size(); ++i) {
            if (word[i] == '%' && i + 2 < word.size()) {
                path += char(std::stoi(word.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                path += word[i];
            }
        }
        if (!path.empty()) {
            auto [it, fresh] = paths.emplace(Lower(path), cbFree);
            if (!fresh) it->second = std::min(it->second, cbFree);
        }
        at = end;
    }
    return paths;
}

Outcome CardGoneAfter(const Expected &e, const Loss &loss, const VacatedFiles &vacated, bool bRecovery,
                      long &nInPlace) {
    g_flash.Control("recut " + loss.flash);
    const FoldedTree before = FlashNow();
    // Out for good: no mount, and no card folder for the program to find.
    g_card.Stop();
    std::error_code error;
    fs::remove(CardRoot(), error);
    if (error || fs::exists(CardRoot())) Fail("the card's folder stays after the card went: " + CardRoot().string());
    Show("before the start with the card gone");
    const RunEnd end = RunProgram(0);
    Show("after the start with the card gone");
    Outcome o;
    if (end.code != 0) o = Problem("the start with the card gone", end);
    else o.problem = CardGoneUnsound(e, before, FlashNow(), vacated, bRecovery, nInPlace);
    // Back in for the next case, which resets it.
    fs::create_directories(CardRoot());
    g_card.Start(CardRoot().string(), (g_places.work / "card.sock").string(), g_cardOptions);
    g_card.Control("load " + g_cardTemplate.string());
    return o;
}
