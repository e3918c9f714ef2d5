#include "request_support.h"

#include <unistd.h>

Held::Held(fuse_req_t req)
    : fs(*static_cast<FileSystem*>(fuse_req_userdata(req))), req_(req), guard_(fs.lock)
{
}

// The daemon's own requests (its check that a new mount answers) are not the program's: fail
// mode neither counts nor refuses them.
bool Held::powered()
{
    const bool own = fuse_req_ctx(req_)->pid == getpid();
    if ((own || !fs.pulled()) && fs.powered)
        return true;
    fuse_reply_err(req_, EIO);
    return false;
}

// Fail mode counts the requests that the card would have to answer. Releasing a handle and
// forgetting an inode only let go of this process's memory, so they are not counted.
bool FileSystem::pulled()
{
    counts.requests++;
    return fail_from != 0 && ++since_fail >= fail_from;
}

Node* Held::node(Ino ino)
{
    Node* node = tree().find(ino);
    if (!node)
        fuse_reply_err(req_, ESTALE);
    return node;
}

struct stat stat_of(const Tree& tree, Ino ino, const Node& node)
{
    struct stat st{};
    st.st_ino = ino;
    st.st_mode = node.meta().mode;
    st.st_nlink = tree.links(node);
    st.st_uid = node.meta().uid;
    st.st_gid = node.meta().gid;
    st.st_size = node.is_dir() ? 0 : off_t(node.data.size());
    st.st_blksize = kBlockSize;
    st.st_blocks = blkcnt_t(blocks_for(st.st_size) * (kBlockSize / 512));
    st.st_atim = node.meta().atime;
    st.st_mtim = node.meta().mtime;
    st.st_ctim = node.meta().ctime;
    return st;
}

void Held::reply_entry(Ino ino)
{
    fuse_entry_param entry{};
    entry.ino = ino;
    entry.attr = stat_of(tree(), ino, tree().nodes.at(ino));
    entry.attr_timeout = entry.entry_timeout = fs.cache_seconds;
    fuse_reply_entry(req_, &entry);
}

void Held::reply_attr(Ino ino)
{
    struct stat st = stat_of(tree(), ino, tree().nodes.at(ino));
    fuse_reply_attr(req_, &st, fs.cache_seconds);
}

// Writes go to this process as they are made: with the kernel's write-back cache, data that
// a program wrote could still sit in the kernel at a cut, and a file the program changed would
// not count as changed here.
static void init(void*, fuse_conn_info* conn)
{
    conn->want &= ~FUSE_CAP_WRITEBACK_CACHE;
}

const fuse_lowlevel_ops& request_handlers()
{
    static const fuse_lowlevel_ops ops = [] {
        fuse_lowlevel_ops o{};
        o.init = init;
        o.lookup = names::lookup;
        o.forget = names::forget;
        o.getattr = names::getattr;
        o.setattr = names::setattr;
        o.mknod = names::mknod;
        o.mkdir = names::mkdir;
        o.unlink = names::unlink;
        o.rmdir = names::rmdir;
        o.rename = names::rename;
        o.opendir = names::opendir;
        o.readdir = names::readdir;
        o.releasedir = names::releasedir;
        o.fsyncdir = names::fsyncdir;
        o.statfs = names::statfs;
        o.setxattr = names::setxattr;
        o.getxattr = names::getxattr;
        o.listxattr = names::listxattr;
        o.removexattr = names::removexattr;
        o.create = content::create;
        o.open = content::open;
        o.read = content::read;
        o.write = content::write;
        o.flush = content::flush;
        o.release = content::release;
        o.fsync = content::fsync;
        o.fallocate = content::fallocate;
        return o;
    }();
    return ops;
}
