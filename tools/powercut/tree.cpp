#include "tree.h"

#include <errno.h>
#include <linux/fs.h> // RENAME_NOREPLACE

#include <vector>

const std::string& Blob::bytes() const
{
    static const std::string empty;
    return data_ ? *data_ : empty;
}

std::string& Blob::edit()
{
    if (!data_)
        data_ = std::make_shared<std::string>();
    else if (data_.use_count() > 1)
        data_ = std::make_shared<std::string>(*data_);
    return *data_;
}

timespec now()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return t;
}

Tree::Tree()
{
    Meta& root = nodes[kRootIno].meta_;
    root.mode = S_IFDIR | 0755;
    root.atime = root.mtime = root.ctime = now();
    root.parent = kRootIno;
}

Node* Tree::find(Ino ino)
{
    auto it = nodes.find(ino);
    return it == nodes.end() ? nullptr : &it->second;
}

const Node* Tree::find(Ino ino) const
{
    auto it = nodes.find(ino);
    return it == nodes.end() ? nullptr : &it->second;
}

Meta& Tree::change(Ino ino)
{
    changed_.insert(ino);
    return nodes.at(ino).meta_;
}

int Tree::folder(Ino ino, Node*& dir)
{
    dir = find(ino);
    if (!dir || (dir->meta().parent == 0 && ino != kRootIno))
        return ENOENT; // a removed folder takes no new names
    return dir->is_dir() ? 0 : ENOTDIR;
}

int Tree::lookup(Ino parent, const std::string& name, Ino& found) const
{
    const Node* dir = find(parent);
    if (!dir)
        return ENOENT;
    if (!dir->is_dir())
        return ENOTDIR;
    auto it = dir->meta().entries.find(name);
    if (it == dir->meta().entries.end())
        return ENOENT;
    found = it->second;
    return 0;
}

int Tree::make(Ino parent, const std::string& name, mode_t mode, uid_t uid, gid_t gid, Ino& made)
{
    Node* dir = nullptr;
    if (int err = folder(parent, dir))
        return err;
    if (name.size() > kNameMax)
        return ENAMETOOLONG;
    if (dir->meta().entries.count(name))
        return EEXIST;
    made = next_ino++;
    nodes[made];
    Meta& node = change(made);
    node.mode = mode;
    node.uid = uid;
    node.gid = gid;
    node.atime = node.mtime = node.ctime = now();
    node.parent = parent;
    Meta& folder = change(parent);
    folder.entries[name] = made;
    folder.mtime = folder.ctime = node.mtime;
    return 0;
}

// The name goes; its inode stays (see the class comment), no longer named.
void Tree::unname(Ino dir, const std::string& name)
{
    Meta& folder = change(dir);
    auto it = folder.entries.find(name);
    Meta& gone = change(it->second);
    gone.parent = 0;
    gone.ctime = now();
    folder.entries.erase(it);
    folder.mtime = folder.ctime = gone.ctime;
}

int Tree::unlink(Ino parent, const std::string& name)
{
    Node* dir = nullptr;
    Ino ino = 0;
    if (int err = folder(parent, dir))
        return err;
    if (int err = lookup(parent, name, ino))
        return err;
    if (nodes.at(ino).is_dir())
        return EISDIR;
    unname(parent, name);
    return 0;
}

int Tree::rmdir(Ino parent, const std::string& name)
{
    Node* dir = nullptr;
    Ino ino = 0;
    if (int err = folder(parent, dir))
        return err;
    if (int err = lookup(parent, name, ino))
        return err;
    const Node& gone = nodes.at(ino);
    if (!gone.is_dir())
        return ENOTDIR;
    if (!gone.meta().entries.empty())
        return ENOTEMPTY;
    unname(parent, name);
    return 0;
}

bool Tree::inside(Ino folder, Ino ino) const
{
    for (;;) {
        if (ino == folder)
            return true;
        const Node* node = find(ino);
        if (!node || ino == kRootIno || node->meta().parent == 0)
            return false;
        ino = node->meta().parent;
    }
}

// POSIX rename: a file may replace a file, a folder an empty folder; RENAME_NOREPLACE is the
// only flag known, others fail with EINVAL rather than being ignored.
int Tree::rename(Ino parent, const std::string& name, Ino newparent, const std::string& newname,
                 unsigned flags)
{
    if (flags & ~unsigned(RENAME_NOREPLACE))
        return EINVAL;
    Node *from = nullptr, *to = nullptr;
    Ino moving = 0;
    if (int err = folder(parent, from))
        return err;
    if (int err = folder(newparent, to))
        return err;
    if (int err = lookup(parent, name, moving))
        return err;
    if (newname.size() > kNameMax)
        return ENAMETOOLONG;
    const Node& node = nodes.at(moving);
    if (node.is_dir() && inside(moving, newparent))
        return EINVAL;
    auto target = to->meta().entries.find(newname);
    if (target != to->meta().entries.end()) {
        if (target->second == moving)
            return 0;
        if (flags & RENAME_NOREPLACE)
            return EEXIST;
        const Node& old = nodes.at(target->second);
        if (node.is_dir() && !old.is_dir())
            return ENOTDIR;
        if (!node.is_dir() && old.is_dir())
            return EISDIR;
        if (old.is_dir() && !old.meta().entries.empty())
            return ENOTEMPTY;
        unname(newparent, newname);
    }
    const timespec t = now();
    Meta& source = change(parent);
    source.entries.erase(name);
    source.mtime = source.ctime = t;
    Meta& target_dir = change(newparent);
    target_dir.entries[newname] = moving;
    target_dir.mtime = target_dir.ctime = t;
    Meta& moved = change(moving);
    moved.parent = newparent;
    moved.ctime = t;
    return 0;
}

uint64_t Tree::used_blocks() const
{
    uint64_t used = 0;
    for (const auto& [ino, node] : nodes) {
        if (node.is_dir())
            used += ino != kRootIno && node.meta().parent != 0;
        else if (node.meta().parent != 0 || node.opens > 0)
            used += blocks_for(node.data.size());
    }
    return used;
}

unsigned Tree::links(const Node& node) const
{
    if (!node.is_dir())
        return node.meta().parent != 0 ? 1 : 0;
    unsigned n = 2;
    for (const auto& [name, ino] : node.meta().entries)
        n += nodes.at(ino).is_dir() ? 1 : 0;
    return n;
}

Namespace Tree::names() const
{
    Namespace ns;
    std::vector<Ino> todo{kRootIno};
    while (!todo.empty()) {
        Ino ino = todo.back();
        todo.pop_back();
        const Meta& meta = nodes.at(ino).meta();
        ns.emplace(ino, meta);
        for (const auto& [name, child] : meta.entries)
            todo.push_back(child);
    }
    return ns;
}
