// Requests about names, folders and attributes. Each changes the live namespace only; what of
// it survives a cut is the durable namespace's business (power.h).
#include "request_support.h"

#include <linux/fs.h> // RENAME_NOREPLACE
#include <sys/xattr.h>

#include <string>
#include <vector>

namespace names {

void lookup(fuse_req_t req, fuse_ino_t parent, const char* name)
{
    Held h(req);
    if (!h.powered())
        return;
    Ino ino = 0;
    if (int err = h.tree().lookup(parent, name, ino))
        return h.reply_err(err);
    h.reply_entry(ino);
}

// Inodes live until the next power-on whatever the kernel still knows of them (tree.h).
void forget(fuse_req_t req, fuse_ino_t, uint64_t)
{
    fuse_reply_none(req);
}

void getattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*)
{
    Held h(req);
    if (h.powered() && h.node(ino))
        h.reply_attr(ino);
}

// A change of size is a change of content: the file comes back empty from a cut until its
// next fsync. A truncate to the size it has changes nothing.
void setattr(fuse_req_t req, fuse_ino_t ino, struct stat* attr, int to_set, fuse_file_info*)
{
    Held h(req);
    Node* node = h.powered() ? h.node(ino) : nullptr;
    if (!node)
        return;
    const bool resize = to_set & FUSE_SET_ATTR_SIZE;
    const uint64_t size = resize ? uint64_t(attr->st_size) : 0;
    if (resize && node->is_dir())
        return h.reply_err(EISDIR);
    if (int err = resize ? h.fs.space_for(*node, size) : 0)
        return h.reply_err(err);

    const timespec t = now();
    Meta& meta = h.tree().change(ino);
    if (to_set & FUSE_SET_ATTR_MODE)
        meta.mode = (meta.mode & S_IFMT) | (attr->st_mode & 07777);
    if (to_set & FUSE_SET_ATTR_UID)
        meta.uid = attr->st_uid;
    if (to_set & FUSE_SET_ATTR_GID)
        meta.gid = attr->st_gid;
    if (resize && size != node->data.size()) {
        node->data.edit().resize(size);
        node->dirty = true;
    }
    if (to_set & FUSE_SET_ATTR_ATIME)
        meta.atime = attr->st_atim;
    if (to_set & FUSE_SET_ATTR_ATIME_NOW)
        meta.atime = t;
    if (to_set & FUSE_SET_ATTR_MTIME)
        meta.mtime = attr->st_mtim;
    if (to_set & FUSE_SET_ATTR_MTIME_NOW)
        meta.mtime = t;
    meta.ctime = (to_set & FUSE_SET_ATTR_CTIME) ? attr->st_ctim : t;
    h.reply_attr(ino);
}

// Regular files only: the flash store holds no devices, pipes or sockets.
void mknod(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, dev_t)
{
    Held h(req);
    if (!h.powered())
        return;
    if (!S_ISREG(mode))
        return h.reply_err(EPERM);
    const fuse_ctx* who = fuse_req_ctx(req);
    Ino ino = 0;
    if (int err = h.tree().make(parent, name, S_IFREG | (mode & 07777), who->uid, who->gid, ino))
        return h.reply_err(err);
    h.fs.counts.creates++;
    h.reply_entry(ino);
}

// A new folder takes a block, as a FAT folder takes a cluster: ENOSPC without one free, after
// EEXIST for a name that is taken.
void mkdir(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode)
{
    Held h(req);
    if (!h.powered())
        return;
    const fuse_ctx* who = fuse_req_ctx(req);
    Ino ino = 0;
    if (h.tree().lookup(parent, name, ino) != 0)
        if (int err = h.fs.space_for_folder())
            return h.reply_err(err);
    if (int err = h.tree().make(parent, name, S_IFDIR | (mode & 07777), who->uid, who->gid, ino))
        return h.reply_err(err);
    h.fs.counts.mkdirs++;
    h.reply_entry(ino);
}

void unlink(fuse_req_t req, fuse_ino_t parent, const char* name)
{
    Held h(req);
    if (!h.powered())
        return;
    Ino gone = 0;
    h.tree().lookup(parent, name, gone);
    const uint64_t free_before = h.fs.free_bytes();
    int err = h.tree().unlink(parent, name);
    if (err == 0)
        h.fs.note_unlinked(gone, free_before);
    h.fs.counts.unlinks += err == 0;
    h.reply_err(err);
}

void rmdir(fuse_req_t req, fuse_ino_t parent, const char* name)
{
    Held h(req);
    if (!h.powered())
        return;
    int err = h.tree().rmdir(parent, name);
    h.fs.counts.rmdirs += err == 0;
    h.reply_err(err);
}

// The device's file system replaces no name by a rename: with --refuse-replace every rename
// is one that must not replace (RENAME_NOREPLACE), whatever the caller asked.
void rename(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newparent,
            const char* newname, unsigned flags)
{
    Held h(req);
    if (!h.powered())
        return;
    if (h.fs.refuse_replace)
        flags |= RENAME_NOREPLACE;
    int err = h.fs.store.rename(parent, name, newparent, newname, flags);
    h.fs.counts.renames += err == 0;
    h.fs.counts.refused += err == EEXIST;
    h.reply_err(err);
}

// A listing is taken whole when the folder is opened, so that reading it in parts sees one
// state even while names come and go.
struct Listed {
    std::string name;
    Ino ino;
    mode_t mode;
};
using Listing = std::vector<Listed>;

void opendir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi)
{
    Held h(req);
    Node* dir = h.powered() ? h.node(ino) : nullptr;
    if (!dir)
        return;
    if (!dir->is_dir())
        return h.reply_err(ENOTDIR);
    const Ino up = ino == kRootIno ? kRootIno : dir->meta().parent;
    auto* list = new Listing{{".", ino, S_IFDIR}, {"..", up ? up : ino, S_IFDIR}};
    for (const auto& [name, child] : dir->meta().entries)
        list->push_back({name, child, h.tree().nodes.at(child).meta().mode});
    fi->fh = reinterpret_cast<uintptr_t>(list);
    if (fuse_reply_open(req, fi) != 0)
        delete list;
}

void readdir(fuse_req_t req, fuse_ino_t, size_t size, off_t off, fuse_file_info* fi)
{
    Held h(req);
    if (!h.powered())
        return;
    const Listing& list = *reinterpret_cast<const Listing*>(fi->fh);
    std::vector<char> buf(size);
    size_t used = 0;
    for (size_t i = size_t(off); i < list.size(); ++i) {
        struct stat st{};
        st.st_ino = list[i].ino;
        st.st_mode = list[i].mode;
        // Writes only when the entry fits in what is left; says what it needs either way.
        size_t need = fuse_add_direntry(req, buf.data() + used, size - used, list[i].name.c_str(),
                                        &st, off_t(i + 1));
        if (need > size - used)
            break;
        used += need;
    }
    fuse_reply_buf(req, buf.data(), used);
}

// Also while the power is out: the listing is this process's memory, not the tree's.
void releasedir(fuse_req_t req, fuse_ino_t, fuse_file_info* fi)
{
    delete reinterpret_cast<Listing*>(fi->fh);
    fuse_reply_err(req, 0);
}

// A folder's fsync commits the whole namespace of a journaled medium, as any fsync does, and
// this folder's entries on a FAT-like one. With --volume-flush the root folder's fsync is
// the volume's flush (the desktop's CeFsIoControlW with FSCTL_FLUSH_BUFFERS ends here):
// every name, and every file's content, on either medium. Without this handler the kernel
// would report success and commit nothing.
void fsyncdir(fuse_req_t req, fuse_ino_t ino, int, fuse_file_info*)
{
    Held h(req);
    if (!h.powered() || !h.node(ino))
        return;
    if (ino == kRootIno && h.fs.volume_flush)
        h.fs.store.arm();
    else
        h.fs.store.fsync_folder(ino);
    h.fs.counts.fsyncdir++;
    h.reply_err(0);
}

// Extended attributes are metadata: a namespace flush commits them with the names.
void setxattr(fuse_req_t req, fuse_ino_t ino, const char* name, const char* value, size_t size,
              int flags)
{
    Held h(req);
    Node* node = h.powered() ? h.node(ino) : nullptr;
    if (!node)
        return;
    const bool exists = node->meta().xattrs.count(name) != 0;
    if ((flags & XATTR_CREATE) && exists)
        return h.reply_err(EEXIST);
    if ((flags & XATTR_REPLACE) && !exists)
        return h.reply_err(ENODATA);
    Meta& meta = h.tree().change(ino);
    meta.xattrs[name].assign(value, size);
    meta.ctime = now();
    h.reply_err(0);
}

// A size of 0 asks how big the answer is; a smaller buffer than the answer is ERANGE.
static void reply_sized(fuse_req_t req, const std::string& answer, size_t size)
{
    if (size == 0)
        fuse_reply_xattr(req, answer.size());
    else if (size < answer.size())
        fuse_reply_err(req, ERANGE);
    else
        fuse_reply_buf(req, answer.data(), answer.size());
}

void getxattr(fuse_req_t req, fuse_ino_t ino, const char* name, size_t size)
{
    Held h(req);
    Node* node = h.powered() ? h.node(ino) : nullptr;
    if (!node)
        return;
    auto it = node->meta().xattrs.find(name);
    if (it == node->meta().xattrs.end())
        return h.reply_err(ENODATA);
    reply_sized(req, it->second, size);
}

void listxattr(fuse_req_t req, fuse_ino_t ino, size_t size)
{
    Held h(req);
    Node* node = h.powered() ? h.node(ino) : nullptr;
    if (!node)
        return;
    std::string list;
    for (const auto& [name, value] : node->meta().xattrs)
        list.append(name).push_back('\0');
    reply_sized(req, list, size);
}

void removexattr(fuse_req_t req, fuse_ino_t ino, const char* name)
{
    Held h(req);
    Node* node = h.powered() ? h.node(ino) : nullptr;
    if (!node)
        return;
    if (node->meta().xattrs.count(name) == 0)
        return h.reply_err(ENODATA);
    Meta& meta = h.tree().change(ino);
    meta.xattrs.erase(name);
    meta.ctime = now();
    h.reply_err(0);
}

} // namespace names
