// What survives a power cut. Two media are modelled: a journaled one (losses flushed and
// immediate), whose namespace is committed whole by any fsync, and a FAT-like one (loss
// mixed), where each folder's entries and each file's content reach the medium on their own.
// On both, the volume's flush (an fsync of the root folder, with --volume-flush) commits
// everything.
#pragma once

#include "tree.h"

#include <cstdint>

enum class Loss {
    flushed,   // metadata is committed with the next flush: the namespace of the last flush
    immediate, // metadata is committed at once: the namespace of the moment of the cut
    mixed,     // FAT-like: each folder and each file as of its own last flush or as at the cut
};

struct PowerCut {
    Loss loss = Loss::flushed;
    uint64_t seed = 0; // mixed: picks, object by object, which of its states comes back
};

struct Store {
    Tree live;          // what programs see now
    Namespace durable;  // the namespace as of the last namespace flush (journaled losses)
    Namespace own;      // each inode's metadata as of its own last fsync (mixed); a folder's
                        // entries are committed by that folder's fsync alone
    Namespace torn;     // folders whose entries a rename over a name changed since their own
                        // last fsync: the folder between the removal of the old name and the
                        // rename, the last such moment
    Namespace between;  // folders in which a rename moved a name since their own last fsync:
                        // the folder with the source's name gone and the new one not yet
                        // written (a replaced name gone too), the last such moment

    // fsync of any file or folder commits the whole namespace, as a journal does. Only the
    // inodes changed since the last flush are copied: an fsync costs what changed, not what
    // the store holds.
    void flush_names();
    // The file's content and its own metadata, and the journaled namespace. Under mixed a
    // file's fsync commits no name: its name lives in its folder.
    void fsync_file(Ino file);
    // The folder's entries and metadata, and the journaled namespace.
    void fsync_folder(Ino folder);
    // Tree::rename, noting the moments a FAT-like medium passes through: when the rename
    // replaces a name, the old name removed and the source not yet renamed; within one
    // folder, the source's name removed and the new one not yet written.
    int rename(Ino parent, const std::string& name, Ino newparent, const std::string& newname,
               unsigned flags);
    // Every file's content and the namespace count as flushed from now on: a reset, the arm
    // command, and the volume's flush.
    void arm();
    // The power comes on with this tree: everything in it is durable.
    void power_on(Tree tree);
    // The tree the power comes back with after a cut now.
    Tree after_cut(const PowerCut& cut) const;

private:
    Tree after_journaled_cut(Loss loss) const; // power.cpp
    Tree after_mixed_cut(uint64_t seed) const; // mixed_loss.cpp
};
