// Checks a mounted powercutfs file by file against what a power cut keeps.
//   powercut_probe POWERCUTFS SOCKET MOUNTPOINT TEMPLATE_DIR
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
    if (argc != 5) {
        fprintf(stderr, "usage: powercut_probe POWERCUTFS SOCKET MOUNTPOINT TEMPLATE_DIR\n");
        return 2;
    }
    ctl_program = argv[1], flash = {argv[2], argv[3]}, layout = argv[4];
    mnt = flash.dir;
    make_layout();
    if (!ctl("load " + layout) || !ctl("reset") || !same_tree(layout, mnt)) {
        printf("FAIL the template is not laid out as it is on disk\n");
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
    a_files_fsync_commits_no_name();
    ctl("reset");
    check(same_tree(layout, mnt), "reset restores the template exactly");
    printf("%d checks, %d failed\n", checks_made(), checks_failed());
    return checks_failed() == 0 ? 0 : 1;
}
