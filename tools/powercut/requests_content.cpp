// Requests about a file's content. Every change of content marks the file changed since its
// own last fsync; only its fsync clears that. Closing a file (flush, release) is no flush.
#include "request_support.h"

#include <fcntl.h>

#include <algorithm>
#include <cstring>

namespace content {

// The file is changed now: its content is lost by a cut until its next fsync.
static void changed(Tree& tree, Ino ino)
{
    tree.nodes.at(ino).dirty = true;
    Meta& meta = tree.change(ino);
    meta.mtime = meta.ctime = now();
}

void create(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, fuse_file_info* fi)
{
    Held h(req);
    if (!h.powered())
        return;
    const fuse_ctx* who = fuse_req_ctx(req);
    Ino ino = 0;
    if (int err = h.tree().make(parent, name, S_IFREG | (mode & 07777), who->uid, who->gid, ino))
        return h.reply_err(err);
    h.fs.counts.creates++;
    Node& file = h.tree().nodes.at(ino);
    file.opens++;
    fuse_entry_param entry{};
    entry.ino = ino;
    entry.attr = stat_of(h.tree(), ino, file);
    entry.attr_timeout = entry.entry_timeout = h.fs.cache_seconds;
    if (fuse_reply_create(req, &entry, fi) != 0)
        file.opens--;
}

void open(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi)
{
    Held h(req);
    Node* file = h.powered() ? h.node(ino) : nullptr;
    if (!file)
        return;
    if (file->is_dir())
        return h.reply_err(EISDIR);
    if ((fi->flags & O_TRUNC) && (fi->flags & O_ACCMODE) != O_RDONLY && file->data.size() > 0) {
        file->data = Blob();
        changed(h.tree(), ino);
    }
    file->opens++;
    if (fuse_reply_open(req, fi) != 0)
        file->opens--;
}

void read(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info*)
{
    Held h(req);
    Node* file = h.powered() ? h.node(ino) : nullptr;
    if (!file)
        return;
    const std::string& bytes = file->data.bytes();
    const size_t from = std::min(bytes.size(), size_t(off));
    fuse_reply_buf(req, bytes.data() + from, std::min(size, bytes.size() - from));
}

// A write takes the part of it that the capacity holds and fails the rest, as a real file
// system does: the kernel returns the short count, and the next write fails with ENOSPC.
void write(fuse_req_t req, fuse_ino_t ino, const char* buf, size_t size, off_t off,
           fuse_file_info*)
{
    Held h(req);
    Node* file = h.powered() ? h.node(ino) : nullptr;
    if (!file)
        return;
    const uint64_t from = uint64_t(off), limit = h.fs.size_limit(*file);
    if (size > 0 && from >= limit)
        return h.reply_err(h.fs.space_for(*file, from + size));
    size = size_t(std::min<uint64_t>(size, limit - from));
    std::string& bytes = file->data.edit();
    if (bytes.size() < from + size)
        bytes.resize(from + size);
    std::memcpy(&bytes[from], buf, size);
    changed(h.tree(), ino);
    h.fs.counts.writes++;
    fuse_reply_write(req, size);
}

void flush(fuse_req_t req, fuse_ino_t, fuse_file_info*)
{
    fuse_reply_err(req, 0);
}

// Also while the power is out: an open handle holds space, and lets go of it here.
void release(fuse_req_t req, fuse_ino_t ino, fuse_file_info*)
{
    Held h(req);
    if (Node* file = h.tree().find(ino); file && file->opens > 0)
        file->opens--;
    h.reply_err(0);
}

// fsync and fdatasync alike: this file's content is durable, and so is the whole namespace of
// a journaled medium; a FAT-like one commits no name here (power.h).
void fsync(fuse_req_t req, fuse_ino_t ino, int, fuse_file_info*)
{
    Held h(req);
    Node* file = h.powered() ? h.node(ino) : nullptr;
    if (!file)
        return;
    h.fs.store.fsync_file(ino);
    h.fs.counts.fsync++;
    h.reply_err(0);
}

// Only mode 0 (extend the file to cover the range): space here is the file's size, so a
// reservation beyond it (FALLOC_FL_KEEP_SIZE) has no meaning; callers such as posix_fallocate
// fall back to writing.
void fallocate(fuse_req_t req, fuse_ino_t ino, int mode, off_t offset, off_t length,
               fuse_file_info*)
{
    Held h(req);
    Node* file = h.powered() ? h.node(ino) : nullptr;
    if (!file)
        return;
    if (mode != 0)
        return h.reply_err(EOPNOTSUPP);
    const uint64_t end = uint64_t(offset) + uint64_t(length);
    if (end <= file->data.size())
        return h.reply_err(0);
    if (int err = h.fs.space_for(*file, end))
        return h.reply_err(err);
    file->data.edit().resize(end);
    changed(h.tree(), ino);
    h.reply_err(0);
}

} // namespace content
