// The power-loss harness: updates cut at the points where the power can go, on a flash store
// and a card that each forget what was not flushed (powercutfs), and cards pulled mid-run.
//
//   power_loss BUILD PROGRAM [--seed S] [--seeds N] [--cuts K|all|bykind] [--pulls P|all]
//              [--losses flushed,immediate,mixed] [--mixed-seeds M] [--rotate-losses] [--flash-kinds] [--room] [--empty-runs|--short-runs] [--prepared]
//              [--cut K | --pull J] [--loss LOSS] [--expect-caught [--control PROGRAM]] [--list]
//              [--refuse-replace] [--volume-flush] [--card-gone] [--recovery]
//
// PROGRAM is a cut build: it ends with exit code 99 right after its k-th change to a file
// system (k = TESSIVARD_CUT_AFTER). For each seed S .. S+N-1 the harness draws a device
// (device_gen.cpp; --prepared: the prepared update), runs the update once uninterrupted, and
// then, at each of K cut points drawn from the seed (all of them by default), runs it to the
// cut and loses the power of both file systems under every loss: flushed, immediate, and
// mixed with M seeds (2 by default). At each of P requests of the card drawn from the seed
// the card is pulled instead. Every case is checked twice (checks.h): what it left, and that
// a run on the device as it came back leaves it as the uninterrupted run did.
// --room: every device has little room. --empty-runs: every device also holds long runs
// of empty folders before, between and after files, and chains of them; --short-runs: the
// same devices with runs and chains of 2 to 5 folders. --cut/--pull with
// --loss: one case alone, as a failing case's line prints it. --expect-caught: PROGRAM
// breaks a safety rule; the harness stops at the first case that catches it
// (POWER_LOSS_ALL=1: goes on) and passes only then; --control: the same cases then run on
// PROGRAM, a cut build that breaks no rule, and must pass there. --cuts bykind: the first
// change of each kind the uninterrupted run made (by_kind.cpp); --rotate-losses: the nth cut
// point under the nth of the losses in turn, not under every one; --flash-kinds: only the kinds
// of a change to the flash store (the card's changes are the worker's alone, before the copy
// or after it, in every build). --list: prints each device drawn, its
// line and both trees in the order the device lists them, and runs nothing.
// --refuse-replace: both mounts refuse a rename onto a name that is taken, as the device's
// file system does. --volume-flush: both take an fsync of their root folder for the volume's
// flush (the desktop's CeFsIoControlW with FSCTL_FLUSH_BUFFERS), which commits everything under
// every loss. --card-gone: after each cut point's losses and each pull, the card is
// taken out for good and the device started once with no card, under one of the point's
// losses in turn (cases.h, CardGoneAfter); the seed's line and the total count these apart.
// --recovery: the same, and that start must leave no temporary.
#include "cases.h"
#include "daemon.h"
#include "harness.h"
#include "options.h"
#include "seeded.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <vector>

Places g_places;

void Fail(const std::string &why) {
    std::fprintf(stderr, "power_loss: %s\n", why.c_str());
    std::exit(1);
}

namespace {

// A case whose runs after it settled where the runs from the start did not (Outcome::bOtherOrder):
// judged once the device's cases are done.
struct OtherOrder {
    std::string where, loss;
    Outcome out;
};

struct Tally {
    std::map<std::string, long> perLoss;   // cut points tried, by loss ("mixed": under each of its seeds)
    long seeds = 0, pulls = 0, failures = 0, crashes = 0, beyondEnd = 0;
    long cardGone = 0, inPlace = 0;        // card-gone starts tried; the in-place files they excused
    long otherOrders = 0;                  // cases that settled as another run from the start did
    std::vector<OtherOrder> pending;       // this device's cases still to judge so
    bool bStop = false;                    // a broken build is caught: enough
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// where: "cut K" or "pull J"; bCardGone: the start with the card gone after it.
void Report(const Options &o, Tally &t, uint64_t seed, const std::string &where, const std::string &loss,
            const Outcome &out, bool bCardGone = false) {
    if (out.problem.empty()) return;
    if (out.bOtherOrder) return t.pending.push_back(OtherOrder{where, loss, out});
    (out.bCrash ? t.crashes : t.failures)++;
    const std::string again = o.bCardGone ? "" : " --card-gone";
    std::printf("%s seed %llu, %s%s, loss %s, build %s: %s | rerun: %s%s --seed %llu %s --loss '%s'\n",
                out.bCrash ? "CRASH" : o.bExpectCaught ? "CAUGHT" : "FAIL", (unsigned long long)seed, where.c_str(),
                bCardGone ? ", card gone" : "", loss.c_str(), fs::path(g_places.program).filename().c_str(),
                out.problem.c_str(), o.rerun.c_str(), bCardGone ? again.c_str() : "", (unsigned long long)seed,
                ("--" + where.substr(0, where.find(' ')) + where.substr(where.find(' '))).c_str(), loss.c_str());
    std::fflush(stdout);
    if (o.bExpectCaught && !out.bCrash && !std::getenv("POWER_LOSS_ALL")) t.bStop = true;
}

// " flushed 10 immediate 10 mixed 10 (2 seeds each)": the cut points tried since before.
std::string PerLoss(const Options &o, const Tally &t, const Tally &before) {
    std::string tried;
    for (const auto &[kind, n] : t.perLoss) {
        auto it = before.perLoss.find(kind);
        tried += " " + kind + " " + std::to_string(n - (it == before.perLoss.end() ? 0 : it->second));
        if (kind == "mixed" && o.oneLoss.empty()) tried += " (" + std::to_string(o.mixedSeeds) + " seeds each)";
    }
    return tried.empty() ? " none" : tried;
}

// The card gone for good after a case, the flash store as loss left it.
void TryCardGone(const Options &o, Tally &t, uint64_t seed, const Expected &e, const std::string &where,
                 const Loss &loss, const VacatedFiles &vacated) {
    long nInPlace = 0;
    const Outcome out = CardGoneAfter(e, loss, vacated, o.bRecovery, nInPlace);
    ++t.cardGone;
    t.inPlace += nInPlace;
    Report(o, t, seed, where, loss.flash, out, true);
}

// " card gone after 12 cases (3 files replaced in place excused)", or "" without --card-gone.
std::string CardGoneCount(const Options &o, const Tally &t, const Tally &before) {
    if (!o.bCardGone) return "";
    return "; card gone after " + std::to_string(t.cardGone - before.cardGone) + " cases (" +
           std::to_string(t.inPlace - before.inPlace) + " files replaced in place excused)";
}

// The cut after change k, under every loss; with --card-gone, then the card gone for good under
// the nth cut point's loss in turn.
void TryCut(const Options &o, Tally &t, uint64_t seed, const Expected &e, long k, const RunEnd &end, long nth) {
    const std::string where = "cut " + std::to_string(k);
    if (end.code == 0) {
        ++t.beyondEnd;   // two I/O threads: this run made fewer changes than the count
        return;
    }
    if (end.code != 99) {
        Outcome out;
        out.problem = "the run to the cut " + end.Describe();
        out.bCrash = end.signal != 0;
        return Report(o, t, seed, where, "none", out);
    }
    const VacatedFiles vacated = o.bCardGone ? Vacated() : VacatedFiles();
    bool bFirst = true;
    std::string counted;   // the kinds this cut point is counted under already
    std::vector<Loss> losses = LossesAt(o, seed, k);
    if (o.bRotateLosses) losses = {losses[size_t(nth) % losses.size()]};
    for (const Loss &loss : losses) {
        const std::string kind = loss.flash.substr(0, loss.flash.find(' '));
        if (counted.find(" " + kind) == counted.npos) {
            counted += " " + kind;
            ++t.perLoss[kind];
        }
        const auto t0 = std::chrono::steady_clock::now();
        const Outcome out = AfterCut(e, loss, bFirst);
        bFirst = false;
        if (std::getenv("POWER_LOSS_VERBOSE"))
            std::fprintf(stderr, "seed %llu %s %s: %.2f s\n", (unsigned long long)seed, where.c_str(), loss.flash.c_str(), Seconds(t0));
        Report(o, t, seed, where, loss.flash, out);
        if (t.bStop) return;
    }
    if (o.bCardGone) TryCardGone(o, t, seed, e, where, losses[size_t(nth) % losses.size()], vacated);
}

// Most runs from the start that a case settled elsewhere may call for, each until it settles.
constexpr int kMoreStarts = 6;

// The cases whose runs settled short of the whole update and elsewhere than the runs from the
// start: each passes where another run from the start settles on the same flash store and
// card (its I/O threads met the room in another order), and fails where none of kMoreStarts
// does. A build without I/O threads settles the same every time: its cases fail so.
// " 2 settled as another run from the start did (3 more runs)", or "".
std::string JudgeOtherOrders(const Options &o, Tally &t, uint64_t seed) {
    std::vector<OtherOrder> pending;
    pending.swap(t.pending);
    if (pending.empty()) return "";
    int runs = 0;
    long matched = 0;
    while (!pending.empty() && runs < kMoreStarts) {
        FoldedTree flash, card;
        SettleFromStart(flash, card);
        ++runs;
        for (size_t i = pending.size(); i-- > 0;)
            if (SameSettling(pending[i].out, flash, card)) {
                ++matched;
                pending.erase(pending.begin() + long(i));
            }
    }
    t.otherOrders += matched;
    for (OtherOrder &left : pending) {
        left.out.bOtherOrder = false;
        left.out.problem += "; nor did " + std::to_string(runs) + " more runs from the start settle there";
        Report(o, t, seed, left.where, left.loss, left.out);
    }
    return "; " + std::to_string(matched) + " settled as another run from the start did (" + std::to_string(runs) +
           " more runs from the start)";
}

void TryDevice(const Options &o, Tally &t, uint64_t seed) {
    const auto t0 = std::chrono::steady_clock::now();
    const long rerunsBefore = RerunCount();
    const Device d = o.bPrepared ? PreparedDevice(o.bRoom) : GeneratedDevice(seed, o.bRoom, o.bEmptyRuns, o.bShortRuns);
    const Expected e = SetUpDevice(d);
    const Tally before = t;
    ++t.seeds;
    long points = 0;
    // A pull, and the card gone for good after it under the same loss (once the pull's own
    // case passed: a failed one may have ended before the power went).
    auto pull = [&](long j, const Loss &loss) {
        VacatedFiles vacated;
        ++t.pulls;
        const std::string where = "pull " + std::to_string(j);
        const Outcome out = PulledAt(e, j, loss, &vacated);
        Report(o, t, seed, where, loss.flash, out);
        if (o.bCardGone && !t.bStop && out.problem.empty()) TryCardGone(o, t, seed, e, where, loss, vacated);
    };
    if (o.oneCut) {
        TryCut(o, t, seed, e, o.oneCut, CutAt(o.oneCut), 0);
    } else if (o.onePull) {
        pull(o.onePull, Loss{o.oneLoss});
    } else {
        long nth = 0;
        if (o.cuts == kByKind) {
            auto cuts = CutsByKind(e);
            if (o.bFlashKinds)
                std::erase_if(cuts, [](const auto &cut) { return cut.second.find("card") != std::string::npos; });
            std::string kinds;
            for (const auto &[k, kind] : cuts) kinds += "; " + std::to_string(k) + " " + kind;
            std::printf("seed %llu: cuts by kind%s\n", (unsigned long long)seed, kinds.c_str());
            std::fflush(stdout);
            points = long(cuts.size());
            for (const auto &[k, kind] : cuts)
                if (!t.bStop) TryCut(o, t, seed, e, k, CutAt(k), nth++);
        } else if (o.cuts < 0) {
            for (long k = 1; !t.bStop; ++k) {
                const RunEnd end = CutAt(k);
                if (end.code == 0) break;   // every cut point is done
                points = k;
                TryCut(o, t, seed, e, k, end, nth++);
            }
        } else {
            points = CountCutPoints(EstimatedChanges());
            for (long k : Sample(points, o.cuts, Mix(seed + 1)))
                if (!t.bStop) TryCut(o, t, seed, e, k, CutAt(k), nth++);
        }
        const std::vector<long> pulls = Sample(CardRequests(), o.pulls, Mix(seed + 2));
        for (size_t i = 0; i < pulls.size() && !t.bStop; ++i) {
            const std::vector<Loss> losses = LossesAt(o, seed, -pulls[i]);
            pull(pulls[i], losses[i % losses.size()]);
        }
    }
    const std::string otherOrders = JudgeOtherOrders(o, t, seed);
    std::printf("seed %llu: %s; %ld cut points, tried per loss:%s; %ld of %ld card requests pulled%s%s; %ld failed, %ld crashed, %ld runs rerun (%.0f s)\n",
                (unsigned long long)seed, (d.summary + (e.shortfall.empty() ? "" : "; too little room: " + e.shortfall)).c_str(), points, PerLoss(o, t, before).c_str(), t.pulls - before.pulls, CardRequests(),
                CardGoneCount(o, t, before).c_str(), otherOrders.c_str(), t.failures - before.failures, t.crashes - before.crashes, RerunCount() - rerunsBefore, Seconds(t0));
    std::fflush(stdout);
}

// The device's line, then each tree: a line per folder and file, "+" for a folder, sorted by
// path without regard to case, near the order in which a walk meets them.
void ListDevice(const Options &o, uint64_t seed) {
    const Device d = o.bPrepared ? PreparedDevice(o.bRoom) : GeneratedDevice(seed, o.bRoom, o.bEmptyRuns, o.bShortRuns);
    std::printf("seed %llu: %s\n", (unsigned long long)seed, d.summary.c_str());
    for (auto [side, tree] : {std::pair{"flash", &d.flash}, std::pair{"card", &d.card}}) {
        std::map<std::string, std::string> lines;   // folded path -> its line
        for (const std::string &f : tree->folders) lines[Lower(f)] = "  + " + f;
        for (const auto &[path, content] : tree->files) lines[Lower(path)] = "    " + path + " " + std::to_string(content.size());
        std::printf("%s:\n", side);
        for (const auto &[key, line] : lines) std::printf("%s\n", line.c_str());
    }
}

} // namespace

int main(int argc, char **argv) {
    Options o;
    if (!Parse(argc, argv, o)) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    g_places.build = fs::canonical(argv[1]).string();
    g_places.program = fs::canonical(argv[2]).string();
    g_places.tools = POWER_LOSS_TOOLS;
    g_places.powercutfs = g_places.build + "/tools/powercutfs";
    g_places.serverLog = g_places.build + "/wine/wineserver.log";
    auto rerun = [](const Options &o) {
        return fs::canonical("/proc/self/exe").string() + " " + g_places.build + " " + g_places.program +
               (o.bPrepared ? " --prepared" : "") + (o.bRoom ? " --room" : "") + (o.bShortRuns ? " --short-runs" : o.bEmptyRuns ? " --empty-runs" : "") +
               (o.bExpectCaught ? " --expect-caught" : "") + (o.bRefuseReplace ? " --refuse-replace" : "") +
               (o.bVolumeFlush ? " --volume-flush" : "") + (o.bRecovery ? " --recovery" : o.bCardGone ? " --card-gone" : "");
    };
    o.rerun = rerun(o);
    if (o.bList) {
        for (long i = 0; i < o.seeds; ++i) ListDevice(o, o.seed + uint64_t(i));
        return 0;
    }
    if (geteuid() != 0) Fail("mounting the test file systems needs root");
    if (!fs::exists("/dev/fuse")) Fail("no /dev/fuse on this machine");
    if (!fs::exists(g_places.powercutfs)) Fail("powercutfs is not built: " + g_places.powercutfs);

    // A folder of this run's own: runs of several builds (ctest -j) and by hand side by side.
    g_places.work = fs::path(g_places.build) / "wine/roots" /
                    ("power_loss." + fs::path(g_places.program).stem().string() + "." + std::to_string(getpid()));
    g_places.root = g_places.work / "device";
    fs::remove_all(g_places.work);
    std::atexit(StopAllMounts);
    MountDevice(o.bRefuseReplace, o.bVolumeFlush);

    const auto t0 = std::chrono::steady_clock::now();
    Tally t;
    for (long i = 0; i < o.seeds && !t.bStop; ++i) TryDevice(o, t, o.seed + uint64_t(i));
    // --control: the same cases on a build that breaks no rule, which must pass them, or the
    // catch proves no fault of the broken build.
    Tally control;
    const std::string program = fs::path(g_places.program).filename().string();
    if (t.failures && !o.control.empty()) {
        Options c = o;
        c.bExpectCaught = false;
        g_places.program = fs::canonical(o.control).string();
        c.rerun = rerun(c);
        for (long i = 0; i < c.seeds; ++i) TryDevice(c, control, c.seed + uint64_t(i));
    }
    StopAllMounts();
    fs::remove_all(g_places.work);

    // Every run that ended inside Wine and ran once more is counted, even where the second passed.
    const std::string otherOrders = t.otherOrders ? "; " + std::to_string(t.otherOrders) + " cases settled as another run from the start did" : "";
    std::printf("total (%s): %ld seeds; cut points tried per loss:%s; %ld pulls%s%s; %ld failed, %ld crashed, %ld runs rerun%s (%.0f s)\n",
                program.c_str(), t.seeds, PerLoss(o, t, Tally()).c_str(), t.pulls,
                CardGoneCount(o, t, Tally()).c_str(), otherOrders.c_str(), t.failures, t.crashes, RerunCount(),
                t.beyondEnd ? (", " + std::to_string(t.beyondEnd) + " cuts past a run's end").c_str() : "", Seconds(t0));
    if (o.bExpectCaught) {
        const bool bControlFails = control.failures || control.crashes;
        std::printf("%s\n", !t.failures ? "NOT caught: the broken build passed every case"
                             : bControlFails ? "caught, but the control build fails the same cases" : "caught, as it must be");
        return t.failures && !bControlFails ? 0 : 1;
    }
    return t.failures || t.crashes ? 1 : 0;
}
