// What survives a power cut: the namespace as of its last flush, and each file's content as of
// its own last fsync.
#pragma once

#include "tree.h"

enum class Loss {
    flushed,   // metadata is committed with the next flush: the namespace of the last flush
    immediate, // metadata is committed at once: the namespace of the moment of the cut
};

struct Store {
    Tree live;          // what programs see now
    Namespace durable;  // the namespace as of the last namespace flush

    // fsync of any file or folder commits the whole namespace, as a journal does. Only the
    // inodes changed since the last flush are copied: an fsync costs what changed, not what
    // the store holds.
    void flush_names();
    void fsync_file(Node& file);
    // Every file's content and the namespace count as flushed from now on.
    void arm();
    // The power comes on with this tree: everything in it is durable.
    void power_on(Tree tree);
    // The tree the power comes back with after a cut now. A file that changed since its own
    // last fsync comes back empty; every other file keeps its content.
    Tree after_cut(Loss loss) const;
};
