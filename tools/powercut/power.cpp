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

void Store::fsync_file(Node& file)
{
    file.dirty = false;
    flush_names();
}

void Store::arm()
{
    for (auto& [ino, node] : live.nodes)
        node.dirty = false;
    live.take_changed();
    durable = live.names();
}

void Store::power_on(Tree tree)
{
    live = std::move(tree);
    for (auto& [ino, node] : live.nodes)
        node.opens = 0;
    arm();
}

// Only inodes the chosen namespace reaches come back. Every one of them is still in the live
// tree, which drops no inode between power-ons.
Tree Store::after_cut(Loss loss) const
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
