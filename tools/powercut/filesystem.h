// The one file system of the daemon: its state behind one lock, shared by the thread that
// serves the kernel and the thread that takes commands.
#pragma once

#include "power.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#define FUSE_USE_VERSION 314
#include <fuse_lowlevel.h>

struct Counters {  // requests since the last reset or arm, for the harness's reports
    uint64_t fsync = 0, fsyncdir = 0, renames = 0, writes = 0;
    uint64_t creates = 0, mkdirs = 0, unlinks = 0, rmdirs = 0;
    uint64_t refused = 0;  // renames refused because their new name was taken
    uint64_t requests = 0; // every request that reads or changes the tree (what fail counts)
};

// The largest file: the whole tree lives in this process's memory.
constexpr uint64_t kMaxFileSize = uint64_t(1) << 32;

struct FileSystem {
    std::mutex lock;           // held by every request and every command, start to end
    Store store;               // the live tree and what of it is durable
    uint64_t capacity = 0;     // bytes the files may take, in whole blocks; 0: unlimited
    Counters counts;
    bool powered = true;       // false from a cut until the remount: every request fails
    Tree layout;               // the template that a reset lays out
    std::optional<Store> cut;  // the state at the moment of the last cut, for a recut
    // How long the kernel may keep names and attributes. Only this mount's requests change the
    // tree, and a reset or a cut mounts anew, so a cache never outlives the tree it came from.
    // 0 (--uncached): every lookup and stat reaches the tree, and fail mode sees it.
    double cache_seconds = 1;
    uint64_t fail_from = 0;    // the card pulled: this request since the fail command and all
                               // after it fail with EIO; 0: none fails
    uint64_t since_fail = 0;   // requests since the fail command
    bool refuse_replace = false; // --refuse-replace: a rename onto a name that is taken fails
                                 // with EEXIST, as the device's MoveFileW fails
    bool volume_flush = false;   // --volume-flush: an fsync of the root folder is the volume's
                                 // flush, and commits everything (FSCTL_FLUSH_BUFFERS)

    // 0 if the file may take new_size bytes; ENOSPC if the files would exceed the capacity,
    // EFBIG if one file would exceed what memory should hold.
    int space_for(const Node& file, uint64_t new_size) const;
    // The largest size the file may grow to: its own blocks and all that are free.
    uint64_t size_limit(const Node& file) const;
    // 0 if a new folder's block fits in the capacity; ENOSPC if not.
    int space_for_folder() const;
    // The free bytes statfs reports: whole free blocks.
    uint64_t free_bytes() const;
    // Counts a request that reads or changes the tree: true if fail mode refuses it.
    bool pulled();

    // The template's files, by inode, each with its path as the reset laid it out; and the
    // paths an unlink of that file left without a file since the reset, each with the free
    // bytes statfs reported just before that unlink (the least, if more than one did)
    // (vacated.cpp).
    std::unordered_map<Ino, std::string> laid_out;
    std::map<std::string, uint64_t> vacated;
    void lay_out_paths();            // at a reset: the live tree is the template
    // After an unlink of the file succeeded; free_before: free_bytes() just before it.
    void note_unlinked(Ino file, uint64_t free_before);
    // " FREE:PATH FREE:PATH...", FREE in decimal; in PATH '%', space and control bytes as %XX.
    std::string vacated_list() const;
};

// The kernel's requests, answered from a FileSystem passed as the session's user data.
const fuse_lowlevel_ops& request_handlers();
