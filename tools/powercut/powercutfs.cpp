// powercutfs: a file system in memory that forgets, at a power cut, what was not flushed. The
// tests mount it over a device's flash store folder, and over the card's root, and cut the
// power under the updater.
//
//   powercutfs [--uncached] [--refuse-replace] [--volume-flush] MOUNTPOINT SOCKET
//                                               mounts, prints "ready" once mounted, serves
//                                               until quit; --uncached: the kernel keeps no
//                                               name or attribute (entry and attribute
//                                               timeouts 0), so every lookup and stat is a
//                                               request that fail mode counts (the card mount);
//                                               --refuse-replace: a rename onto a name that is
//                                               taken fails with EEXIST, file or folder, as
//                                               the device's MoveFileW fails (Wine's MoveFileW
//                                               without MOVEFILE_REPLACE_EXISTING looks for the
//                                               name itself and never asks; a rename that may
//                                               replace reaches us as a rename without flags);
//                                               --volume-flush: an fsync of the root folder is
//                                               the volume's flush (below)
//   powercutfs --ctl SOCKET COMMAND [ARG...]    sends one command, prints the reply line;
//                                               exit 0 on "ok", 1 on "error <reason>", 2 on
//                                               misuse
//
// Commands, one line each on a Unix-domain stream socket, each answered with one line:
//   load DIR        DIR's files, folders, contents, permission bits, times and user.* extended
//                   attributes become the template. The mounted tree does not change.
//   reset           the tree becomes the template, from memory, all of it durable.
//   capacity BYTES  the space files and folders may take; 0: unlimited (the default).
//   arm             everything counts as flushed now.
//   cut MODE        the power goes out now; it comes back with what MODE keeps (below).
//   recut MODE      back to the moment of the last cut, and what MODE keeps of it instead.
//                   MODE: flushed | immediate | mixed SEED (SEED: decimal, 0 to 2^64-1)
//   fail K          the card is pulled at the K-th request from now: that request and every
//                   later one fail with EIO, until the next reset or cut (the card is back in
//                   when the power comes back). fail 0: none fails. Counted are the requests
//                   that read or change the tree: all but forget, flush, release, releasedir.
//   stats           "ok fsync=N fsyncdir=N renames=N writes=N creates=N mkdirs=N unlinks=N
//                   rmdirs=N refused=N used=BYTES requests=N": requests since the last reset
//                   or arm, space taken; refused: renames refused for a name that is taken;
//                   requests counts as fail does.
//   vacated         "ok FREE:PATH FREE:PATH...": the template's files (paths as the last
//                   reset laid them out) that an unlink removed while no other file held the
//                   name, so that the unlink left the path without a file, since the last
//                   reset: the files whose old version a run removed before a new one took
//                   its place. FREE: the free bytes statfs reported just before that unlink
//                   (the least, if more than one). '%', space and control bytes of a path
//                   are written %XX.
//   quit            unmounts, answers, ends.
//
// What survives a cut under flushed and immediate (a journaled medium):
//  - A file's content is durable as of its own last fsync (fdatasync alike). A file whose
//    content changed since then (written, truncated, extended) comes back empty; any other
//    file comes back with its content. Closing a file (flush, release) is no flush.
//  - The namespace (which names exist, which folders, which name points at which file, and
//    each inode's mode, owner, times and extended attributes) is durable as of the last
//    namespace flush: an fsync of ANY file or folder commits all of it, as a journal commits
//    its metadata with the next flush. A reset and an arm count as a flush of everything.
//  - With --volume-flush, an fsync of the mount's root folder is the volume's flush (the
//    device's FSCTL_FLUSH_BUFFERS flushes every buffer of the file system): it commits the
//    namespace and every file's content, under every loss, mixed included. Without it the
//    root folder's fsync is a folder's like any other.
//  - cut flushed: the namespace comes back as of the last namespace flush, so a name made,
//    renamed or removed since then is undone; an unlinked or replaced file comes back under
//    its old name. cut immediate: the namespace comes back as it was at the cut.
//  - Content belongs to the inode, not the name: a file renamed after its fsync keeps its
//    content under whichever name the namespace gives it. Inodes are therefore kept until the
//    next reset or cut, while a durable namespace may still name them.
// What survives a cut under mixed SEED (a FAT-like medium, mixed_loss.cpp):
//  - Each folder's entries reach the medium when that folder is fsynced, independently of
//    every other folder; an fsync of a file commits its content and its own attributes, and
//    no name; nothing but the volume's flush commits another object. Each folder comes
//    back with its entries as of its own last fsync or as at the cut; each file with its
//    content as of its own last fsync (not empty) or as at the cut.
//  - A rename over an existing name is a removal and then a rename: the folders it touched
//    may also come back between the two, the old target gone and the source still there.
//  - A rename whose folders were not fsynced since comes back under the old name, the new
//    one, or neither (the file lost with its content, as lost clusters): between two folders
//    each folder comes back on its own, and within one the folder may come back with the
//    old entry removed and the new one not yet written. A folder whose names both went and
//    came since its fsync may also come back with every removal written and none of the new
//    entries: every rename in it since then under neither name, two in a row included (a
//    file moved aside, and another moved into its name). Never under both names: a
//    cross-link is not modelled (a file two folders name keeps the name met first).
//  - SEED picks each object's state from its inode number: the same seed and the same cut
//    give the same tree.
// After a cut the tree is durable as it came back; the state at the cut is kept for recut
// until the next reset.
//
// Space: a file takes its size rounded up to blocks of 4096 bytes, and every folder but the
// root one block, as a FAT folder takes a cluster; an unlinked file takes its space while it
// is open. A write takes what fits of it: the kernel returns the short count (Wine's WriteFile
// succeeds with fewer bytes written) and the next write fails with ENOSPC. A mkdir, truncate
// or fallocate that would take more than the capacity fails with ENOSPC and changes nothing.
// statfs reports blocks of 4096 bytes, and the capacity in whole blocks, folders' blocks used.
//
// Caches: a reset and a cut unmount (lazily, and closing /dev/fuse cuts the connection, so a
// handle still open on the old mount fails with ENOTCONN) and mount anew. So no name,
// attribute or page the kernel cached outlives the tree it came from, and within one mount
// only the mount's own requests change the tree, so caching is safe there. Writes reach this
// process at once (no write-back cache): data cannot hide in the kernel at a cut.
//
// Requests are served one at a time by one thread under the state's lock, so any number of
// threads of the program under test may do I/O at once; a request while the power is out
// fails with EIO. No permission checks of our own: the kernel checks (default_permissions).
#include "commands.h"
#include "control.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

static int usage()
{
    fprintf(stderr, "usage: powercutfs [--uncached] [--refuse-replace] [--volume-flush] MOUNTPOINT SOCKET\n"
                    "       powercutfs --ctl SOCKET COMMAND [ARG...]\n");
    return 2;
}

// A signal ends the daemon as quit does: the mount must not outlive it.
static int stop_signals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr); // before any thread starts, so all inherit it
    signal(SIGPIPE, SIG_IGN);
    return signalfd(-1, &set, SFD_CLOEXEC);
}

struct ServeOptions {
    bool uncached = false;
    bool refuse_replace = false;
    bool volume_flush = false;
};

static int serve(const std::string& mountpoint, const std::string& socket_path, ServeOptions options)
{
    const int signals = stop_signals();
    std::string error;
    const int listener = listen_at(socket_path, error);
    if (listener < 0) {
        fprintf(stderr, "powercutfs: %s\n", error.c_str());
        return 1;
    }
    Daemon daemon(mountpoint);
    daemon.fs.cache_seconds = options.uncached ? 0 : 1;
    daemon.fs.refuse_replace = options.refuse_replace;
    daemon.fs.volume_flush = options.volume_flush;
    if (!daemon.mount.start(error)) {
        fprintf(stderr, "powercutfs: %s\n", error.c_str());
        unlink(socket_path.c_str());
        return 1;
    }
    printf("ready\n");
    fflush(stdout);
    serve_lines(listener, signals, [&](const std::string& line, bool& quit) {
        return run_command(daemon, line, quit);
    });
    daemon.mount.stop();
    close(listener);
    unlink(socket_path.c_str());
    return 0;
}

int main(int argc, char** argv)
{
    if (argc >= 4 && strcmp(argv[1], "--ctl") == 0) {
        std::string line = argv[3];
        for (int i = 4; i < argc; ++i)
            line.append(" ").append(argv[i]);
        return send_line(argv[2], line);
    }
    ServeOptions options;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (strcmp(argv[i], "--uncached") == 0)
            options.uncached = true;
        else if (strcmp(argv[i], "--refuse-replace") == 0)
            options.refuse_replace = true;
        else if (strcmp(argv[i], "--volume-flush") == 0)
            options.volume_flush = true;
        else
            return usage();
    }
    if (argc - i == 2)
        return serve(argv[i], argv[i + 1], options);
    return usage();
}
