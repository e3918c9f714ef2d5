// The mixed loss, the FAT-like medium: each folder's entries and each file's content come back
// on their own, as of their own last fsync or as at the cut, picked by the seed; a rename
// over a name may come back torn, and any rename under neither name; an fsync of a file
// commits no name.
#include "probe.h"

#include <unistd.h>

#include <set>

// Changes to four objects since their own fsync: keep.txt's content (from the template),
// v's content (fsynced once, then rewritten), the folder sub (two names made) and the folder
// empty (one name made).
static void change_four_objects()
{
    ctl("reset");
    put("v", "one", true);
    check(fsync_folder(mnt), "fsync of the root folder");
    put("v", "two", false);
    put("keep.txt", "changed", false);
    put("sub/a", "a", true);
    put("sub/b", "b", true);
    put("empty/c", "c", true);
}

// Which state each of the four objects came back in, one letter each: o (own last fsync) or
// c (as at the cut); "?" for a state that neither allows.
static std::string observe_four_objects(const std::string& cut)
{
    auto at = [](const std::string& name) { return get(mnt + "/" + name); };
    auto one_of = [](const Maybe& got, const Maybe& own, const Maybe& at_cut) {
        return got == own ? "o" : got == at_cut ? "c" : "?";
    };
    const Maybe a = at("sub/a"), b = at("sub/b");
    check(a.has_value() == b.has_value(), cut + ": a folder's names come back together");
    check(at("sub/inner.txt") == Maybe("inner"), cut + ": a name the folder kept is there");
    return std::string(one_of(at("keep.txt"), "kept", "changed")) + one_of(at("v"), "one", "two") +
           one_of(a, Maybe(), "a") + one_of(at("empty/c"), Maybe(), "c");
}

void each_object_comes_back_on_its_own()
{
    std::vector<std::string> first_run;
    for (int run = 0; run < 2; ++run) {
        change_four_objects();
        for (unsigned seed = 0; seed < kSeeds; ++seed) {
            const std::string cut = seed_cut(seed, seed == 0);
            check(ctl(cut), cut);
            const std::string seen = observe_four_objects(cut);
            check(seen.find('?') == seen.npos, cut + ": each object as of its own fsync or as "
                                               "at the cut, not " + seen + " (keep v sub empty)");
            check(ctl(seed_cut(seed, false)) && observe_four_objects(cut) == seen,
                  cut + " again: the same tree");
            if (run == 0)
                first_run.push_back(seen);
            else
                check(first_run[seed] == seen, cut + ": the same changes and the same seed "
                                                     "give the same tree in a second run");
        }
    }
    std::set<std::string> trees(first_run.begin(), first_run.end());
    for (size_t object = 0; object < 4; ++object) {
        std::set<char> states;
        for (const std::string& seen : first_run)
            states.insert(seen[object]);
        check(states.size() == 2, "object " + std::to_string(object) + " (keep v sub empty) "
                                  "comes back both ways over " + std::to_string(kSeeds) + " seeds");
    }
    check(trees.size() > 2, "the objects are picked each on its own, not all together");
    check(ctl("recut immediate"), "recut immediate");
    expect("keep.txt", "", "immediate after mixed, a changed file comes back empty as before");
    expect("sub/a", "a", "immediate after mixed, names as at the cut");
}

void a_rename_over_a_name_may_tear()
{
    ctl("reset");
    put("sub/new", "new", true);
    check(fsync_folder(mnt + "/sub"), "fsync of sub");
    check(rename((mnt + "/sub/new").c_str(), (mnt + "/sub/inner.txt").c_str()) == 0,
          "rename over a name");
    put("empty/x", "x", true);
    check(fsync_folder(mnt + "/empty"), "fsync of empty");
    check(rename((mnt + "/empty/x").c_str(), (mnt + "/empty/y").c_str()) == 0,
          "rename to a new name");
    std::set<std::string> states, moves;
    for (unsigned seed = 0; seed < 24; ++seed) {
        const std::string cut = seed_cut(seed, seed == 0);
        check(ctl(cut), cut);
        const Maybe target = get(mnt + "/sub/inner.txt"), source = get(mnt + "/sub/new");
        if (target == Maybe("inner") && source == Maybe("new"))
            states.insert("before");
        else if (target == Maybe("new") && !source)
            states.insert("after");
        else if (!target && source == Maybe("new"))
            states.insert("torn");
        else if (!target && !source)
            states.insert("neither");
        else
            check(false, cut + ": a rename over a name comes back before, after, with the "
                               "target gone and the source there, or with both gone; not "
                               "otherwise");
        const Maybe x = get(mnt + "/empty/x"), y = get(mnt + "/empty/y");
        if (x == Maybe("x") && !y)
            moves.insert("old");
        else if (!x && y == Maybe("x"))
            moves.insert("new");
        else if (!x && !y)
            moves.insert("neither");
        else
            check(false, cut + ": a rename to a new name comes back under the old name, the "
                               "new one or neither, never both, and with its content");
    }
    check(states.size() == 4, "over 24 seeds a rename over a name comes back before, after, "
                              "torn and under neither name (" + std::to_string(states.size()) +
                              " of the 4 seen)");
    check(moves.size() == 3, "over 24 seeds a rename to a new name comes back under the old "
                             "name, the new one and neither (" + std::to_string(moves.size()) +
                             " of the 3 seen)");

    ctl("reset");
    put("empty/x", "x", true);
    check(fsync_folder(mnt + "/empty"), "fsync of empty");
    check(rename((mnt + "/empty/x").c_str(), (mnt + "/empty/y").c_str()) == 0 &&
              fsync_folder(mnt + "/empty"),
          "rename to a new name, then the folder's fsync");
    unsigned moved = 0;
    for (unsigned seed = 0; seed < kSeeds; ++seed) {
        check(ctl(seed_cut(seed, seed == 0)), "cut mixed");
        moved += get(mnt + "/empty/y") == Maybe("x") && !get(mnt + "/empty/x");
    }
    check(moved == kSeeds, "the folder's fsync after a rename to a new name leaves it there "
                           "under every seed");

    ctl("reset");
    put("sub/new", "new", true);
    check(rename((mnt + "/sub/new").c_str(), (mnt + "/sub/inner.txt").c_str()) == 0 &&
              fsync_folder(mnt + "/sub"),
          "rename over a name, then the folder's fsync");
    unsigned after = 0;
    for (unsigned seed = 0; seed < kSeeds; ++seed) {
        check(ctl(seed_cut(seed, seed == 0)), "cut mixed");
        after += get(mnt + "/sub/inner.txt") == Maybe("new") && !get(mnt + "/sub/new");
    }
    check(after == kSeeds, "the folder's fsync after a rename over a name leaves nothing torn");
}

// A file moved aside and another moved into its name, the replacement the device makes
// without a rename over a name: with the folder unflushed between the two, both may come
// back under no name at all; with the folder flushed between them, one version always has a
// name.
void two_renames_in_a_row_may_lose_both()
{
    for (bool flushed_between : {false, true}) {
        ctl("reset");
        put("sub/t", "old", true);
        put("sub/p", "new", true);
        check(fsync_folder(mnt + "/sub"), "fsync of sub");
        check(rename((mnt + "/sub/t").c_str(), (mnt + "/sub/aside").c_str()) == 0 &&
                  (!flushed_between || fsync_folder(mnt + "/sub")) &&
                  rename((mnt + "/sub/p").c_str(), (mnt + "/sub/t").c_str()) == 0,
              "t moved aside, p moved to t");
        std::set<std::string> states;
        for (unsigned seed = 0; seed < 24; ++seed) {
            const std::string cut = seed_cut(seed, seed == 0);
            check(ctl(cut), cut);
            const Maybe t = get(mnt + "/sub/t"), p = get(mnt + "/sub/p"), aside = get(mnt + "/sub/aside");
            std::string seen = (t ? " t=" + *t : "") + (p ? " p=" + *p : "") + (aside ? " aside=" + *aside : "");
            seen.erase(0, seen.empty() ? 0 : 1);
            check(seen.empty() || seen == "t=new aside=old" || seen == "t=old p=new" || seen == "aside=old" ||
                      seen == "p=new aside=old",
                  cut + ": each file under one of its names or none, with its content, not \"" + seen + "\"");
            states.insert(seen.empty() ? "both lost" : seen);
        }
        if (flushed_between)
            check(!states.count("both lost"), "the folder flushed between the two renames: some version "
                                              "always keeps a name");
        else
            check(states.count("both lost") == 1, "the folder unflushed between the two renames: over 24 "
                                                  "seeds both versions come back under no name");
    }
}

void a_files_fsync_commits_no_name()
{
    ctl("reset");
    put("fresh", "fresh", true); // the file's fsync; the root folder's never
    check(unlink((mnt + "/keep.txt").c_str()) == 0, "unlink"); // shows the root's state
    unsigned lost = 0;
    for (unsigned seed = 0; seed < kSeeds; ++seed) {
        const std::string cut = seed_cut(seed, seed == 0);
        check(ctl(cut), cut);
        const Maybe fresh = get(mnt + "/fresh"), keep = get(mnt + "/keep.txt");
        check(fresh ? *fresh == "fresh" && !keep : !keep || keep == Maybe("kept"),
              cut + ": the new name comes back only when the root comes back as at the cut, "
                    "with the content its fsync made durable (or the removal alone written)");
        lost += !fresh;
    }
    check(lost > 0 && lost < kSeeds, "under mixed an fsync of a file alone kept its name in " +
                                         std::to_string(kSeeds - lost) + " of " +
                                         std::to_string(kSeeds) + " seeds; 0 < n < all expected");
    check(ctl("recut flushed"), "recut flushed");
    expect("fresh", "fresh", "flushed: the same fsync committed every name");

    ctl("reset");
    put("fresh", "fresh", true);
    check(fsync_folder(mnt), "fsync of the root folder");
    unsigned kept = 0;
    for (unsigned seed = 0; seed < kSeeds; ++seed) {
        check(ctl(seed_cut(seed, seed == 0)), "cut mixed");
        kept += get(mnt + "/fresh") == Maybe("fresh");
    }
    check(kept == kSeeds, "the folder's own fsync commits the name under every seed");
}
