#include "power.h"

// An inode without a parent is no longer reachable (tree.h), so it leaves the namespace.
void Store::flush_names()
{
    for (Ino ino : live.take_changed()) {
        const Meta& meta = live.nodes.at(ino).meta();
        if (ino == kRootIno || meta.parent != 0)
            durable[ino] = meta;
        else
            durable.erase(ino);
    }
}

void Store::fsync_file(Ino ino)
{
    Node& file = live.nodes.at(ino);
    file.dirty = false;
    file.synced = file.data;
    own[ino] = file.meta();
    flush_names();
}

void Store::fsync_folder(Ino ino)
{
    own[ino] = live.nodes.at(ino).meta();
    torn.erase(ino);
    between.erase(ino);
    flush_names();
}

int Store::rename(Ino parent, const std::string& name, Ino newparent, const std::string& newname,
                  unsigned flags)
{
    Ino moving = 0, replaced = 0;
    const bool over = live.lookup(parent, name, moving) == 0 &&
                      live.lookup(newparent, newname, replaced) == 0 && moving != replaced;
    const bool moves = moving != 0 && moving != replaced;
    Meta to, from;
    if (over || moves)
        to = live.nodes.at(newparent).meta();
    if (over && parent != newparent)
        from = live.nodes.at(parent).meta();
    if (int err = live.rename(parent, name, newparent, newname, flags))
        return err;
    to.entries.erase(newname);
    if (over) {
        torn[newparent] = to;
        if (parent != newparent)
            torn[parent] = std::move(from); // still naming the source
    }
    // Between two folders each comes back on its own, which already gives the file under
    // neither name; within one folder that moment is a state of the folder.
    if (moves && parent == newparent) {
        to.entries.erase(name);
        between[parent] = std::move(to);
    }
    return 0;
}

void Store::arm()
{
    for (auto& [ino, node] : live.nodes) {
        node.dirty = false;
        node.synced = node.data;
    }
    live.take_changed();
    durable = live.names();
    own = durable;
    torn.clear();
    between.clear();
}

void Store::power_on(Tree tree)
{
    live = std::move(tree);
    for (auto& [ino, node] : live.nodes)
        node.opens = 0;
    arm();
}

Tree Store::after_cut(const PowerCut& cut) const
{
    return cut.loss == Loss::mixed ? after_mixed_cut(cut.seed) : after_journaled_cut(cut.loss);
}

// Only inodes the chosen namespace reaches come back. Every one of them is still in the live
// tree, which drops no inode between power-ons. A file that changed since its own last fsync
// comes back empty; every other file keeps its content.
Tree Store::after_journaled_cut(Loss loss) const
{
    const Namespace ns = loss == Loss::flushed ? durable : live.names();
    Tree tree;
    tree.nodes.clear();
    tree.next_ino = live.next_ino;
    for (const auto& [ino, meta] : ns) {
        const Node& was = live.nodes.at(ino);
        Node& node = tree.nodes[ino];
        tree.change(ino) = meta;
        if (!was.dirty)
            node.data = was.data;
    }
    return tree;
}
