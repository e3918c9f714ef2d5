// The file system's tree in memory: inodes, folders and the names in them. It knows nothing of
// power; power.h decides what of it survives a cut.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <unordered_map>
#include <unordered_set>

using Ino = uint64_t;
constexpr Ino kRootIno = 1;          // the kernel's FUSE_ROOT_ID
constexpr uint64_t kBlockSize = 4096; // the unit of space: a file takes its size rounded up to
                                      // it, and every folder but the root takes one, as a FAT
                                      // folder takes a cluster
constexpr size_t kNameMax = 255;

// Blocks a file of this size takes.
inline uint64_t blocks_for(uint64_t size) { return (size + kBlockSize - 1) / kBlockSize; }

// A file's bytes, shared by every copy of the tree until one copy changes them: a reset and a
// cut copy whole trees, and must not copy the data to do so.
class Blob {
public:
    const std::string& bytes() const;
    std::string& edit(); // bytes of this copy alone, to change
    uint64_t size() const { return data_ ? data_->size() : 0; }

private:
    std::shared_ptr<std::string> data_; // null: empty
};

// What a namespace flush commits of one inode: its kind, owner, times, attributes and, for a
// folder, the names in it.
struct Meta {
    mode_t mode = 0;                           // kind and permission bits
    uid_t uid = 0;
    gid_t gid = 0;
    timespec atime{}, mtime{}, ctime{};
    std::map<std::string, std::string> xattrs; // Wine keeps DOS attributes in user.DOSATTRIB
    std::map<std::string, Ino> entries;        // a folder's names, each naming one inode
    Ino parent = 0; // the folder whose name points here (root: itself); 0: no name any more
};

class Node {
public:
    const Meta& meta() const { return meta_; } // changed through Tree::change only
    bool is_dir() const { return S_ISDIR(meta_.mode); }

    Blob data;          // a file's content as it is now
    Blob synced;        // a file's content as of its own last fsync (shares data's bytes)
    bool dirty = false; // the content changed since the file's own last fsync
    unsigned opens = 0; // open handles: an unlinked file keeps its space while one is open

private:
    friend class Tree;
    Meta meta_;
};

// A namespace: the metadata of every inode reachable from the root, by inode.
using Namespace = std::unordered_map<Ino, Meta>;

timespec now();

// Inodes are never dropped between two power-ons: a durable namespace may still name a file
// that the live one has unlinked, and a cut must be able to bring it back. A file has at most
// one name (no hard links), so a folder's parent is also what ".." means. A folder loses its
// name only when empty, and a folder without a name takes no new names: an inode is reachable
// from the root exactly when it has a parent.
class Tree {
public:
    Tree(); // an empty root folder

    std::unordered_map<Ino, Node> nodes; // every inode since the last power-on
    Ino next_ino = kRootIno + 1;

    Node* find(Ino ino);
    const Node* find(Ino ino) const;
    // The inode's metadata, to change; the next namespace flush commits it.
    Meta& change(Ino ino);
    // The inodes whose metadata changed since the last call.
    std::unordered_set<Ino> take_changed() { return std::exchange(changed_, {}); }

    // Each returns 0 or an errno value, and changes nothing on failure.
    int lookup(Ino parent, const std::string& name, Ino& found) const;
    int make(Ino parent, const std::string& name, mode_t mode, uid_t uid, gid_t gid, Ino& made);
    int unlink(Ino parent, const std::string& name);
    int rmdir(Ino parent, const std::string& name);
    int rename(Ino parent, const std::string& name, Ino newparent, const std::string& newname,
               unsigned flags);

    // Files with a name or an open handle, and one block for each named folder but the root:
    // the root's cluster is part of the formatted medium, never free space.
    uint64_t used_blocks() const;
    unsigned links(const Node& node) const; // st_nlink
    Namespace names() const;      // the live namespace, from the root

private:
    int folder(Ino ino, Node*& dir);
    bool inside(Ino folder, Ino ino) const; // ino is folder or lies below it
    void unname(Ino dir, const std::string& name);

    std::unordered_set<Ino> changed_; // inodes whose metadata changed since take_changed
};
