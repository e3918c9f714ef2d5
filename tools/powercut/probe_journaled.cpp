// The journaled losses, flushed and immediate: content as of each file's own fsync, names as
// of the last fsync of anything, or as at the cut.
#include "probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <linux/fs.h>

#include <cerrno>
#include <thread>

void content_follows_its_own_fsync()
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

void names_follow_the_last_flush()
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

void fsyncdir_and_arm_flush()
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

// Threads writing and fsyncing at once, as the updater's workers may: every file lands whole.
void concurrent_writers_all_land()
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
