// Checks a mounted powercutfs file by file against what a power cut keeps.
//   powercut_probe POWERCUTFS SOCKET MOUNTPOINT TEMPLATE_DIR
// TEMPLATE_DIR is made here (it must not exist). Prints each failed check; exit 0 if none.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <linux/fs.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using Maybe = std::optional<std::string>; // a file's content; nullopt: no such file
static std::string ctl_program, ctl_socket, mnt, layout;
static std::atomic<int> checks = 0, failures = 0; // checked from several threads

static void check(bool ok, const std::string& what)
{
    ++checks;
    if (!ok) {
        ++failures;
        printf("FAIL %s\n", what.c_str());
    }
}

// One command through the command line the harness uses; true on exit status 0. A refusal
// is printed unless the caller expects one.
static bool ctl(const std::string& command, bool refusal_expected = false)
{
    const std::string line = "'" + ctl_program + "' --ctl '" + ctl_socket + "' " + command;
    FILE* out = popen(line.c_str(), "r");
    char reply[512] = "";
    if (!out || !fgets(reply, sizeof reply, out))
        reply[0] = '\0';
    const int status = out ? pclose(out) : -1;
    reply[strcspn(reply, "\n")] = '\0';
    if (status != 0 && !refusal_expected)
        printf("  (%s: %s)\n", command.c_str(), reply);
    return status == 0;
}

static void put(const std::string& name, const std::string& text, bool sync)
{
    int fd = open((mnt + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size()) &&
              (!sync || fsync(fd) == 0);
    if (fd >= 0)
        ok = close(fd) == 0 && ok;
    check(ok, "writing " + name);
}

static Maybe get(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char buf[4096];
    for (ssize_t got; (got = read(fd, buf, sizeof buf)) > 0;)
        text.append(buf, size_t(got));
    close(fd);
    return text;
}

static void expect(const std::string& name, const Maybe& want, const std::string& why)
{
    const Maybe got = get(mnt + "/" + name);
    check(got == want, why + ": " + name + " is " + (got ? "\"" + *got + "\"" : "absent") +
                           ", not " + (want ? "\"" + *want + "\"" : "absent"));
}

// Names, kinds, permission bits, modification times and contents below a and b alike.
static bool same_tree(const std::string& a, const std::string& b)
{
    auto names = [](const std::string& dir) {
        std::vector<std::string> list;
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d))
                list.push_back(e->d_name);
            closedir(d);
        }
        std::sort(list.begin(), list.end());
        return list;
    };
    const auto list = names(a);
    if (list != names(b))
        return false;
    for (const std::string& name : list) {
        if (name == "." || name == "..")
            continue;
        struct stat sa{}, sb{};
        const std::string pa = a + "/" + name, pb = b + "/" + name;
        if (lstat(pa.c_str(), &sa) || lstat(pb.c_str(), &sb) || sa.st_mode != sb.st_mode ||
            sa.st_mtim.tv_sec != sb.st_mtim.tv_sec || sa.st_mtim.tv_nsec != sb.st_mtim.tv_nsec)
            return false;
        if (S_ISDIR(sa.st_mode) ? !same_tree(pa, pb) : get(pa) != get(pb))
            return false;
    }
    return true;
}

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

static void content_follows_its_own_fsync()
{
    ctl("reset");
    put("closed", "closed", false);           // closed, never synced
    put("synced", "synced", true);            // flushes the names made so far
    put("keep.txt", "changed", false);        // a synced file changed again
    int late = open((mnt + "/late").c_str(), O_WRONLY | O_CREAT, 0644); // after the flush
    check(late >= 0 && write(late, "late", 4) == 4, "writing late");
    check(ctl("cut flushed"), "cut flushed");
    check(write(late, "x", 1) < 0, "a handle open at the cut fails afterwards");
    close(late);
    for (const char* mode : {"flushed", "immediate"}) {
        const std::string m = mode;
        expect("synced", "synced", m + ", written and fsynced");
        expect("closed", "", m + ", written and closed without fsync");
        expect("keep.txt", "", m + ", changed since its fsync");
        expect("sub/inner.txt", "inner", m + ", untouched");
        expect("late", m == "flushed" ? Maybe() : Maybe(""), m + ", made after the last flush");
        if (m == "flushed")
            check(ctl("recut immediate"), "recut immediate");
    }
}

static void names_follow_the_last_flush()
{
    ctl("reset");
    check(!ctl("recut flushed", true), "no recut before a cut");
    put("moved", "moved", true);
    put("repl", "repl", true);                // the last namespace flush
    check(rename((mnt + "/moved").c_str(), (mnt + "/moved2").c_str()) == 0, "rename");
    check(unlink((mnt + "/keep.txt").c_str()) == 0, "unlink");
    check(rename((mnt + "/repl").c_str(), (mnt + "/sub/inner.txt").c_str()) == 0, "rename over");
    check(mkdir((mnt + "/dir").c_str(), 0755) == 0 && rmdir((mnt + "/empty").c_str()) == 0,
          "mkdir, rmdir");
    check(rmdir((mnt + "/sub").c_str()) != 0 && errno == ENOTEMPTY, "rmdir of a full folder");
    auto rename2 = [](const char* from, const char* to, unsigned flags) {
        return syscall(SYS_renameat2, AT_FDCWD, (mnt + from).c_str(), AT_FDCWD, (mnt + to).c_str(),
                       flags) == 0 ? 0 : errno;
    };
    check(rename2("/moved2", "/sub/inner.txt", RENAME_NOREPLACE) == EEXIST, "NOREPLACE: EEXIST");
    check(rename2("/moved2", "/sub/inner.txt", RENAME_EXCHANGE) == EINVAL, "EXCHANGE: EINVAL");

    check(ctl("cut flushed"), "cut flushed");
    expect("moved", "moved", "flushed, renamed after the flush: back under its old name");
    expect("moved2", Maybe(), "flushed, the new name");
    expect("keep.txt", "kept", "flushed, unlinked after the flush");
    expect("sub/inner.txt", "inner", "flushed, replaced after the flush");
    expect("repl", "repl", "flushed, the file that replaced it");
    struct stat st{};
    check(stat((mnt + "/dir").c_str(), &st) != 0 && stat((mnt + "/empty").c_str(), &st) == 0,
          "flushed: mkdir and rmdir undone");

    check(ctl("recut immediate"), "recut immediate");
    expect("moved", Maybe(), "immediate, the old name");
    expect("moved2", "moved", "immediate, renamed after its fsync: content under the new name");
    expect("keep.txt", Maybe(), "immediate, unlinked");
    expect("sub/inner.txt", "repl", "immediate, replaced");
    check(stat((mnt + "/dir").c_str(), &st) == 0 && stat((mnt + "/empty").c_str(), &st) != 0,
          "immediate: mkdir and rmdir kept");
}

static void fsyncdir_and_arm_flush()
{
    ctl("reset");
    put("armed", "armed", false);
    ctl("arm");
    rename((mnt + "/keep.txt").c_str(), (mnt + "/k2.txt").c_str());
    int dir = open((mnt + "/sub").c_str(), O_RDONLY | O_DIRECTORY);
    check(dir >= 0 && fsync(dir) == 0, "fsync of a folder");
    close(dir);
    put("after", "after", false);
    check(ctl("cut flushed"), "cut flushed");
    expect("armed", "armed", "arm makes content and names durable");
    expect("k2.txt", "kept", "a folder's fsync commits a rename anywhere");
    expect("keep.txt", Maybe(), "a folder's fsync commits a rename anywhere");
    expect("after", Maybe(), "made after the folder's fsync");
}

static void capacity_bounds_the_files()
{
    ctl("reset");
    check(ctl("capacity 65536"), "capacity");           // 16 blocks, 2 taken by the template
    struct statvfs vfs{};
    statvfs(mnt.c_str(), &vfs);
    check(vfs.f_bsize == 4096 && vfs.f_frsize == 4096 && vfs.f_blocks == 16 && vfs.f_bfree == 14,
          "statfs reports the capacity in blocks of 4096");
    const std::string big = mnt + "/big";
    int fd = open(big.c_str(), O_WRONLY | O_CREAT, 0644);
    const std::string block(4096, 'b');
    int written = 0;
    while (written < 20 && write(fd, block.data(), block.size()) == 4096)
        ++written;
    check(written == 14 && errno == ENOSPC, "writes fill the capacity, then ENOSPC");
    check(pwrite(fd, "B", 1, 0) == 1, "a full store still overwrites within a file");
    check(ftruncate(fd, 15 * 4096) != 0 && errno == ENOSPC, "truncate beyond: ENOSPC");
    check(fallocate(fd, 0, 0, 15 * 4096) != 0 && errno == ENOSPC, "fallocate beyond: ENOSPC");
    struct stat st{};
    check(fstat(fd, &st) == 0 && st.st_size == 14 * 4096, "a failed growth changes nothing");
    close(fd);
    unlink(big.c_str());
    statvfs(mnt.c_str(), &vfs);
    check(vfs.f_bfree == 14, "unlink gives the space back");
    ctl("capacity 0");
}

// Threads writing and fsyncing at once, as the updater's workers may: every file lands whole.
static void concurrent_writers_all_land()
{
    ctl("reset");
    auto name = [](int n) { return "c" + std::to_string(n); };
    auto text = [](int n) { return std::string(5000 + n, char('a' + n % 26)); };
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&, t] {
            for (int n = t; n < 100; n += 4)
                put(name(n), text(n), true);
        });
    for (std::thread& writer : writers)
        writer.join();
    check(ctl("cut flushed"), "cut flushed");
    int whole = 0;
    for (int n = 0; n < 100; ++n)
        whole += get(mnt + "/" + name(n)) == text(n);
    check(whole == 100, std::to_string(whole) + " of 100 files written at once came back whole");
}

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: powercut_probe POWERCUTFS SOCKET MOUNTPOINT TEMPLATE_DIR\n");
        return 2;
    }
    ctl_program = argv[1], ctl_socket = argv[2], mnt = argv[3], layout = argv[4];
    make_layout();
    if (!ctl("load " + layout) || !ctl("reset") || !same_tree(layout, mnt)) {
        printf("FAIL the template is not laid out as it is on disk\n");
        return 1;
    }
    content_follows_its_own_fsync();
    names_follow_the_last_flush();
    fsyncdir_and_arm_flush();
    capacity_bounds_the_files();
    concurrent_writers_all_land();
    ctl("reset");
    check(same_tree(layout, mnt), "reset restores the template exactly");
    printf("%d checks, %d failed\n", checks.load(), failures.load());
    return failures == 0 ? 0 : 1;
}
