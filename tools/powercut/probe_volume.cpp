// The volume's flush: an fsync of the mount's root folder commits every folder's entries and
// every file's content and metadata, under every loss, on the flash store's mount
// (--volume-flush). Under the FAT-like loss nothing else commits another folder: a folder's
// own fsync commits that folder's entries, a file's its content; and on the card's mount,
// without the option, the root folder's fsync is a folder's like any other.
#include "probe.h"

#include <sys/stat.h>

#include <vector>

// Changes all over the template, none made durable by an fsync of its own: a file's content
// changed, a file made, a rename within a folder, a move between folders, new folders with a
// file at their bottom.
static void change_everywhere()
{
    ctl("reset");
    put("keep.txt", "changed", false);
    put("sub/new", "new", false);
    put("empty/x", "x", false);
    check(rename((mnt + "/sub/inner.txt").c_str(), (mnt + "/sub/moved.txt").c_str()) == 0,
          "rename within sub");
    check(mkdir((mnt + "/deep").c_str(), 0755) == 0 && mkdir((mnt + "/deep/er").c_str(), 0755) == 0,
          "mkdir deep/er");
    put("deep/er/f", "f", false);
    check(rename((mnt + "/empty/x").c_str(), (mnt + "/deep/x").c_str()) == 0,
          "move from empty to deep");
}

// The first change of change_everywhere() that is not there as made; "" when all are.
static std::string first_missing()
{
    const std::vector<std::pair<std::string, Maybe>> want = {
        {"keep.txt", "changed"}, {"sub/new", "new"}, {"sub/moved.txt", "inner"},
        {"sub/inner.txt", Maybe()}, {"deep/er/f", "f"}, {"deep/x", "x"}, {"empty/x", Maybe()}};
    for (const auto& [name, content] : want)
        if (get(mnt + "/" + name) != content)
            return name;
    return "";
}

void a_root_fsync_commits_the_whole_mount()
{
    change_everywhere();
    check(fsync_folder(mnt), "fsync of the root folder");
    put("later", "later", false);
    std::vector<std::string> losses = {"flushed", "immediate"};
    for (unsigned seed = 0; seed < kSeeds; ++seed)
        losses.push_back("mixed " + std::to_string(seed));
    for (size_t i = 0; i < losses.size(); ++i) {
        check(ctl((i == 0 ? "cut " : "recut ") + losses[i]), "cut " + losses[i]);
        const std::string missing = first_missing();
        check(missing.empty(), losses[i] + ": the root folder's fsync committed every folder's "
                               "names and every file's content, but " + missing + " is not as made");
    }
    check(ctl("recut flushed"), "recut flushed");
    expect("later", Maybe(), "flushed: a name made after the root folder's fsync");
}

void a_folders_fsync_commits_that_folder_only()
{
    change_everywhere();
    check(fsync_folder(mnt + "/sub"), "fsync of sub");
    check(fsync_folder(mnt + "/deep/er"), "fsync of deep/er");
    unsigned named = 0, content = 0, root_file = 0, deep = 0;
    for (unsigned seed = 0; seed < kSeeds; ++seed) {
        const std::string cut = seed_cut(seed, seed == 0);
        check(ctl(cut), cut);
        const Maybe fresh = get(mnt + "/sub/new");
        named += fresh.has_value() && get(mnt + "/sub/moved.txt") == Maybe("inner");
        content += fresh == Maybe("new");
        root_file += get(mnt + "/keep.txt") == Maybe("changed");
        deep += get(mnt + "/deep/er/f").has_value();
    }
    const std::string of = " of " + std::to_string(kSeeds) + " seeds";
    check(named == kSeeds, "sub's fsync kept its names under every seed (" +
                               std::to_string(named) + of + ")");
    check(content < kSeeds, "sub's fsync committed the content of a file in it under every "
                            "seed: a folder's fsync commits no file's content");
    check(root_file < kSeeds, "a folder's fsync committed a file's content in the root folder "
                              "under every seed");
    check(deep < kSeeds, "deep/er's fsync kept its file under every seed, though nothing "
                         "committed deep/ or the root folder that names it");
    check(ctl("recut flushed"), "recut flushed");
    expect("keep.txt", "", "flushed: a folder's fsync other than the root's commits names, not "
                           "content");
    expect("deep/er/f", "", "flushed: names committed, the content not");
}

void without_the_option_the_root_is_a_folder()
{
    ctl_at(card, "reset");
    put_at(card.dir + "/sub/new", "new", true);
    check(fsync_folder(card.dir), "fsync of the card's root folder");
    unsigned kept = 0;
    for (unsigned seed = 0; seed < kSeeds; ++seed) {
        check(ctl_at(card, seed_cut(seed, seed == 0)), "cut mixed on the card");
        kept += get(card.dir + "/sub/new") == Maybe("new");
    }
    check(kept < kSeeds, "without --volume-flush the root folder's fsync committed a name in "
                         "sub under every seed");
}
