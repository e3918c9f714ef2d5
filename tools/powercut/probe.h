// What powercut_probe's checks share: the two mounts, their control commands, and reading and
// writing files through the kernel.
#pragma once

#include <optional>
#include <string>
#include <vector>

using Maybe = std::optional<std::string>; // a file's content; nullopt: no such file

struct Mounted {
    std::string socket; // the daemon's control socket
    std::string dir;    // where it is mounted
};

extern std::string ctl_program; // powercutfs, for --ctl
extern std::string layout;      // the template folder both daemons load
extern Mounted flash;           // the flash store: names and attributes cached
extern Mounted card;            // the card's root: mounted --uncached
extern std::string mnt;         // flash.dir

void check(bool ok, const std::string& what);
int checks_made();
int checks_failed();

// One command through the command line the harness uses; true on exit status 0. A refusal
// is printed unless the caller expects one. ctl() speaks to the flash store's daemon.
bool ctl(const std::string& command, bool refusal_expected = false);
bool ctl_at(const Mounted& m, const std::string& command, bool refusal_expected = false);
// The number after "key=" in the reply to command, or -1.
long long reply_number(const Mounted& m, const std::string& command, const std::string& key);

// Files under the flash store unless a full path is given.
void put(const std::string& name, const std::string& text, bool sync);
void put_at(const std::string& path, const std::string& text, bool sync);
Maybe get(const std::string& path);
void expect(const std::string& name, const Maybe& want, const std::string& why);
bool fsync_folder(const std::string& path); // an fsync of the folder itself (fsyncdir)
bool same_tree(const std::string& a, const std::string& b);
std::string seed_cut(unsigned seed, bool first); // "cut mixed N" or "recut mixed N"
constexpr unsigned kSeeds = 16;                  // the seeds a check of the mixed loss draws

// The groups of checks, by file.
void content_follows_its_own_fsync();     // probe_journaled.cpp
void names_follow_the_last_flush();
void fsyncdir_and_arm_flush();
void concurrent_writers_all_land();
void capacity_bounds_the_files();         // probe_space.cpp
void folders_take_a_block();
void a_write_takes_what_fits();
void each_object_comes_back_on_its_own(); // probe_fat_like.cpp
void a_rename_over_a_name_may_tear();
void two_renames_in_a_row_may_lose_both();
void a_files_fsync_commits_no_name();
void a_root_fsync_commits_the_whole_mount();     // probe_volume.cpp
void a_folders_fsync_commits_that_folder_only();
void without_the_option_the_root_is_a_folder();
void a_pulled_card_fails_from_the_kth_request(); // probe_card.cpp
void the_card_loses_what_it_did_not_flush();
