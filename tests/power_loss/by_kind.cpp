// The cut points by kind (--cuts bykind): the first change of each kind in the list the cut
// build wrote in the uninterrupted run (TESSIVARD_CHANGES). A kind is the call, the side and
// what each name it named is to the program: one of its own (a temporary, an old version set
// aside, a slot of the record, the flush file: only ever in the flash store), a marker of the
// card or another card entry, a flash name the card also holds ("replaced"), one only the
// store held before the update ("old"), or a name of neither ("new"). A file's flush names
// the file below its own mount (Wine takes each mount for a volume): "file", when not the
// program's own.
#include "cases.h"
#include "harness.h"

#include <algorithm>
#include <fstream>
#include <map>

namespace {

std::string Role(std::string path, const Expected &e) {
    path = Lower(path);
    std::replace(path.begin(), path.end(), '\\', '/');
    const std::string name = path.substr(path.rfind('/') + 1);
    for (auto [prefix, role] : {std::pair{"~tessivard-partial", "temporary"}, {"~tessivard-old", "aside"},
                                {"~tessivard-record", "record"}, {"~tessivard-flush", "flush file"}})
        if (name.rfind(prefix, 0) == 0) return role;
    const size_t card = path.find("/sdmmc/residentflash/"), flash = path.find("/residentflash");
    if (path.find("/sdmmc") != path.npos) return card != path.npos && IsMarker(path.substr(card + 21)) ? "card marker" : "card entry";
    const std::string rest = flash != path.npos && flash + 15 < path.size() ? path.substr(flash + 15) : "";
    auto holds = [&rest](const FoldedTree &t) { return t.files.count(rest) || t.folders.count(rest); };
    return flash == path.npos ? "file" : !holds(e.oldFlash) ? "flash new" : holds(e.card) ? "flash replaced" : "flash old";
}

} // namespace

std::vector<std::pair<long, std::string>> CutsByKind(const Expected &e) {
    std::ifstream in(ChangeList());
    std::map<long, std::vector<std::string>> lines;   // by K: a run rerun after a death inside Wine lists again
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;   // K, the call, the path, a move's new path
        size_t at = 0;
        for (size_t tab; (tab = line.find('\t', at)) != line.npos; at = tab + 1) f.push_back(line.substr(at, tab - at));
        f.push_back(line.substr(at));
        if (f.size() >= 3) lines[std::atol(f[0].c_str())] = f;
    }
    if (lines.empty()) Fail("the uninterrupted run listed no change in " + ChangeList().string());
    std::map<std::string, long> first;
    for (const auto &[k, f] : lines) {
        const std::string side = Role(f[2], e);   // a volume's flush: only its side
        first.emplace(f[1] + " " + (f[1] == "volumeflush" ? side.substr(0, side.find(' ')) : side) +
                          (f.size() > 3 ? " to " + Role(f[3], e) : ""), k);
    }
    std::vector<std::pair<long, std::string>> cuts;
    for (const auto &[kind, k] : first) cuts.emplace_back(k, kind);
    std::sort(cuts.begin(), cuts.end());
    return cuts;
}
