#include "options.h"
#include "seeded.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

const char kUsage[] =
    "usage: power_loss BUILD PROGRAM [--seed S] [--seeds N] [--cuts K|all|bykind] [--pulls P|all]\n"
    "         [--losses flushed,immediate,mixed] [--mixed-seeds M] [--rotate-losses] [--flash-kinds] [--room] [--empty-runs|--short-runs] [--prepared]\n"
    "         [--cut K | --pull J] [--loss LOSS] [--expect-caught [--control PROGRAM]] [--list]\n"
    "         [--refuse-replace] [--volume-flush] [--card-gone] [--recovery]\n";

namespace {

bool ParseNumber(const char *psz, long &n) {
    char *end = nullptr;
    n = std::strtol(psz, &end, 10);
    return *psz && !*end && n >= 0;
}

} // namespace

bool Parse(int argc, char **argv, Options &o) {
    if (argc < 3) return false;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        long n = 0;
        auto number = [&](long &to, bool bAll) {
            if (!next) return false;
            ++i;
            if (bAll && !std::strcmp(next, "all")) return (to = -1), true;
            if (bAll && !std::strcmp(next, "bykind")) return (to = kByKind), true;
            return ParseNumber(next, to);
        };
        if (a == "--room") o.bRoom = true;
        else if (a == "--prepared") o.bPrepared = true;
        else if (a == "--empty-runs") o.bEmptyRuns = true;
        else if (a == "--short-runs") o.bEmptyRuns = o.bShortRuns = true;
        else if (a == "--rotate-losses") o.bRotateLosses = true;
        else if (a == "--flash-kinds") o.bFlashKinds = true;
        else if (a == "--list") o.bList = true;
        else if (a == "--expect-caught") o.bExpectCaught = true;
        else if (a == "--refuse-replace") o.bRefuseReplace = true;
        else if (a == "--volume-flush") o.bVolumeFlush = true;
        else if (a == "--card-gone") o.bCardGone = true;
        else if (a == "--recovery") o.bCardGone = o.bRecovery = true;
        else if (a == "--seed" && number(n, false)) o.seed = uint64_t(n);
        else if (a == "--seeds" && number(o.seeds, false) && o.seeds > 0) {}
        else if (a == "--cuts" && number(o.cuts, true)) {}
        else if (a == "--pulls" && number(o.pulls, true)) {}
        else if (a == "--mixed-seeds" && number(o.mixedSeeds, false)) {}
        else if (a == "--cut" && number(o.oneCut, false) && o.oneCut > 0) {}
        else if (a == "--pull" && number(o.onePull, false) && o.onePull > 0) {}
        else if (a == "--loss" && next) o.oneLoss = argv[++i];
        else if (a == "--control" && next) o.control = argv[++i];
        else if (a == "--losses" && next) {
            o.kinds.clear();
            for (std::string list = argv[++i]; !list.empty();) {
                const size_t comma = list.find(',');
                o.kinds.push_back(list.substr(0, comma));
                if (o.kinds.back() != "flushed" && o.kinds.back() != "immediate" && o.kinds.back() != "mixed") return false;
                list = comma == list.npos ? "" : list.substr(comma + 1);
            }
        } else return false;
    }
    if ((o.oneCut || o.onePull) && (o.oneLoss.empty() || (o.oneCut && o.onePull))) return false;
    if (o.pulls == kByKind || (!o.control.empty() && !o.bExpectCaught)) return false;
    return true;
}

std::vector<Loss> LossesAt(const Options &o, uint64_t seed, long point) {
    if (!o.oneLoss.empty()) return {Loss{o.oneLoss}};
    std::vector<Loss> losses;
    for (const std::string &kind : o.kinds) {
        if (kind != "mixed") losses.push_back(Loss{kind});
        for (long m = 0; kind == "mixed" && m < o.mixedSeeds; ++m)
            losses.push_back(Loss{"mixed " + std::to_string(Mix(Mix(seed) ^ uint64_t(point * 16 + m)) % 1000000000)});
    }
    return losses;
}

std::vector<long> Sample(long n, long count, uint64_t seed) {
    std::vector<long> points;
    Seeded rng(seed);
    if (count < 0 || count >= n) {
        for (long k = 1; k <= n; ++k) points.push_back(k);
        return points;
    }
    for (long i = 0; i < count; ++i) {
        const long lo = 1 + i * n / count, hi = (i + 1) * n / count;
        points.push_back(rng.Between(lo, std::max(lo, hi)));
    }
    return points;
}

