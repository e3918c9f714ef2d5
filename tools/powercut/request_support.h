// What every request handler shares: the hold on the state, and the replies about inodes.
#pragma once

#include "filesystem.h"

#include <errno.h>

// A request's hold on the file system: the lock for the whole request, and the failure of
// every request while the power is out or the card is pulled.
class Held {
public:
    explicit Held(fuse_req_t req);

    FileSystem& fs;
    Tree& tree() { return fs.store.live; }

    bool powered();               // false: replied EIO (power out, or card pulled)
    Node* node(Ino ino);          // null: replied ESTALE
    void reply_err(int err) { fuse_reply_err(req_, err); } // 0: success
    void reply_entry(Ino ino);    // the inode's entry, for lookup and the calls that make one
    void reply_attr(Ino ino);

private:
    fuse_req_t req_;
    std::lock_guard<std::mutex> guard_;
};

struct stat stat_of(const Tree& tree, Ino ino, const Node& node);

// The handlers, in two files: names and folders, and file content.
namespace names {
void lookup(fuse_req_t, fuse_ino_t parent, const char* name);
void forget(fuse_req_t, fuse_ino_t ino, uint64_t nlookup);
void getattr(fuse_req_t, fuse_ino_t ino, fuse_file_info* fi);
void setattr(fuse_req_t, fuse_ino_t ino, struct stat* attr, int to_set, fuse_file_info* fi);
void mknod(fuse_req_t, fuse_ino_t parent, const char* name, mode_t mode, dev_t rdev);
void mkdir(fuse_req_t, fuse_ino_t parent, const char* name, mode_t mode);
void unlink(fuse_req_t, fuse_ino_t parent, const char* name);
void rmdir(fuse_req_t, fuse_ino_t parent, const char* name);
void rename(fuse_req_t, fuse_ino_t parent, const char* name, fuse_ino_t newparent,
            const char* newname, unsigned flags);
void opendir(fuse_req_t, fuse_ino_t ino, fuse_file_info* fi);
void readdir(fuse_req_t, fuse_ino_t ino, size_t size, off_t off, fuse_file_info* fi);
void releasedir(fuse_req_t, fuse_ino_t ino, fuse_file_info* fi);
void fsyncdir(fuse_req_t, fuse_ino_t ino, int datasync, fuse_file_info* fi);
void statfs(fuse_req_t, fuse_ino_t ino);
void setxattr(fuse_req_t, fuse_ino_t ino, const char* name, const char* value, size_t size,
              int flags);
void getxattr(fuse_req_t, fuse_ino_t ino, const char* name, size_t size);
void listxattr(fuse_req_t, fuse_ino_t ino, size_t size);
void removexattr(fuse_req_t, fuse_ino_t ino, const char* name);
} // namespace names

namespace content {
void create(fuse_req_t, fuse_ino_t parent, const char* name, mode_t mode, fuse_file_info* fi);
void open(fuse_req_t, fuse_ino_t ino, fuse_file_info* fi);
void read(fuse_req_t, fuse_ino_t ino, size_t size, off_t off, fuse_file_info* fi);
void write(fuse_req_t, fuse_ino_t ino, const char* buf, size_t size, off_t off,
           fuse_file_info* fi);
void flush(fuse_req_t, fuse_ino_t ino, fuse_file_info* fi);
void release(fuse_req_t, fuse_ino_t ino, fuse_file_info* fi);
void fsync(fuse_req_t, fuse_ino_t ino, int datasync, fuse_file_info* fi);
void fallocate(fuse_req_t, fuse_ino_t ino, int mode, off_t offset, off_t length,
               fuse_file_info* fi);
} // namespace content
