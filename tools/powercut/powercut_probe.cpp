// Checks two mounted powercutfs file systems file by file against what a power cut keeps: the
// flash store's, and the card's (mounted --uncached).
//   powercut_probe POWERCUTFS SOCKET MOUNTPOINT TEMPLATE_DIR CARD_SOCKET CARD_MOUNTPOINT
// TEMPLATE_DIR is made here (it must not exist). Prints each failed check; exit 0 if none.
#include "probe.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>

static void make_layout()
{
    const timespec old[2] = {{981169445, 123456789}, {981169445, 123456789}};
    mkdir(layout.c_str(), 0755);
    mkdir((layout + "/sub").c_str(), 0755);
    mkdir((layout + "/empty").c_str(), 0700);
    for (const char* name : {"/keep.txt", "/sub/inner.txt"}) {
        FILE* f = fopen((layout + name).c_str(), "w");
        fputs(name[1] == 'k' ? "kept" : "inner", f);
        fclose(f);
    }
    for (const char* name : {"/keep.txt", "/sub/inner.txt", "/sub", "/empty", ""})
        utimensat(AT_FDCWD, (layout + name).c_str(), old, 0);
}

int main(int argc, char** argv)
{
    if (argc != 7) {
        fprintf(stderr, "usage: powercut_probe POWERCUTFS SOCKET MOUNTPOINT TEMPLATE_DIR "
                        "CARD_SOCKET CARD_MOUNTPOINT\n");
        return 2;
    }
    ctl_program = argv[1], flash = {argv[2], argv[3]}, layout = argv[4], card = {argv[5], argv[6]};
    mnt = flash.dir;
    make_layout();
    for (const Mounted& m : {flash, card})
        if (!ctl_at(m, "load " + layout) || !ctl_at(m, "reset") || !same_tree(layout, m.dir)) {
            printf("FAIL the template is not laid out on %s as it is on disk\n", m.dir.c_str());
            return 1;
        }
    content_follows_its_own_fsync();
    names_follow_the_last_flush();
    fsyncdir_and_arm_flush();
    concurrent_writers_all_land();
    capacity_bounds_the_files();
    folders_take_a_block();
    a_write_takes_what_fits();
    each_object_comes_back_on_its_own();
    a_rename_over_a_name_may_tear();
    two_renames_in_a_row_may_lose_both();
    a_files_fsync_commits_no_name();
    a_root_fsync_commits_the_whole_mount();
    a_folders_fsync_commits_that_folder_only();
    without_the_option_the_root_is_a_folder();
    a_pulled_card_fails_from_the_kth_request();
    the_card_loses_what_it_did_not_flush();
    ctl("reset");
    check(same_tree(layout, mnt), "reset restores the template exactly");
    printf("%d checks, %d failed\n", checks_made(), checks_failed());
    return checks_failed() == 0 ? 0 : 1;
}
