// The FAT-like loss. Each folder's entries reach the medium when that folder is written back,
// and each file's content when that file is, independently of every other object; a cut may
// fall between any two write-backs. So each object comes back in one of its own states:
//  - a folder: its entries and metadata as of its own last fsync, or as at the cut, or, when
//    a rename replaced a name in it since that fsync, as between the removal of the old name
//    and the rename (the replaced name gone, the source name still there), or, when a rename
//    within it moved a name since that fsync, as between the removal of the source's entry
//    and the writing of the new one (the file under neither name, and lost); or, when names
//    both went and came since that fsync, with the names gone and none of those that came:
//    the sectors marking entries deleted written back, those holding new entries not (every
//    rename since then under neither name: a file moved aside and another moved into its
//    name both lost);
//  - a file: its content and metadata as of its own last fsync, or as at the cut.
// An object made since the last arm with no fsync of its own comes back empty, with its
// metadata as at the cut. The seed picks each object's state from the seed and its inode
// number alone, so a seed and a cut give one tree, whatever order things are read in.
// A file under two names at once (a cross-link: a move between folders whose new folder came
// back written and whose old one not) is not modelled: the first name met keeps it.
#include "power.h"

#include <deque>

// splitmix64's finaliser: every bit of the input moves every bit of the output.
static uint64_t mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

enum State : unsigned { as_flushed, as_at_cut, as_torn, as_between, as_removals };

static unsigned pick(uint64_t seed, Ino ino, unsigned ways)
{
    return unsigned(mix(mix(seed) ^ ino) % ways);
}

// The entries the folder had at its own last fsync that it still has, each naming the same
// inode: what is left when the names that went are gone and none that came is there yet.
static std::map<std::string, Ino> kept_entries(const Store& store, Ino ino)
{
    std::map<std::string, Ino> kept;
    auto it = store.own.find(ino);
    if (it == store.own.end())
        return kept;
    const auto& now = store.live.nodes.at(ino).meta().entries;
    for (const auto& [name, child] : it->second.entries)
        if (auto there = now.find(name); there != now.end() && there->second == child)
            kept.emplace(name, child);
    return kept;
}

// Whether names both went from the folder and came into it since its own last fsync, so that
// the folder with only the removals written back differs from both of its other states.
static bool went_and_came(const Store& store, Ino ino)
{
    auto it = store.own.find(ino);
    const size_t kept = kept_entries(store, ino).size();
    const size_t before = it == store.own.end() ? 0 : it->second.entries.size();
    return kept < before && kept < store.live.nodes.at(ino).meta().entries.size();
}

// The state the seed picks for a folder among those it may come back in: a folder that no
// rename left halfway picks between two, as a file does.
static State folder_pick(const Store& store, uint64_t seed, Ino ino)
{
    State ways[5] = {as_flushed, as_at_cut};
    unsigned n = 2;
    if (store.torn.count(ino))
        ways[n++] = as_torn;
    if (store.between.count(ino))
        ways[n++] = as_between;
    if (went_and_came(store, ino))
        ways[n++] = as_removals;
    return ways[pick(seed, ino, n)];
}

// A folder's entries and metadata in the state the seed picked for it.
static Meta folder_state(const Store& store, Ino ino, State state)
{
    const Meta& live = store.live.nodes.at(ino).meta();
    const Namespace& past = state == as_torn ? store.torn : state == as_between ? store.between : store.own;
    if (state == as_at_cut)
        return live;
    if (state == as_removals) {
        Meta kept = live;
        kept.entries = kept_entries(store, ino);
        return kept;
    }
    if (auto it = past.find(ino); it != past.end())
        return it->second;
    Meta born = live;
    born.entries.clear();
    return born;
}

// The tree is walked from the root breadth first, each folder's names in order, through the
// entries each folder came back with. A file or folder named by two folders (moved between
// folders whose states differ) keeps the first name met; one that no folder names is lost,
// as lost clusters are.
Tree Store::after_mixed_cut(uint64_t seed) const
{
    Tree tree;
    tree.nodes.clear();
    tree.next_ino = live.next_ino;
    std::deque<std::pair<Ino, Ino>> todo{{kRootIno, kRootIno}}; // an inode, the folder naming it
    std::unordered_set<Ino> named{kRootIno};
    while (!todo.empty()) {
        const auto [ino, parent] = todo.front();
        todo.pop_front();
        const Node& was = live.nodes.at(ino);
        Meta meta;
        Blob data;
        if (was.is_dir()) {
            meta = folder_state(*this, ino, folder_pick(*this, seed, ino));
            for (auto it = meta.entries.begin(); it != meta.entries.end();) {
                if (named.insert(it->second).second)
                    todo.emplace_back(it++->second, ino);
                else
                    it = meta.entries.erase(it);
            }
        } else if (State(pick(seed, ino, 2)) == as_at_cut) {
            meta = was.meta();
            data = was.data;
        } else {
            auto it = own.find(ino);
            meta = it != own.end() ? it->second : was.meta();
            data = was.synced;
        }
        meta.parent = parent;
        tree.nodes[ino].data = data;
        tree.change(ino) = std::move(meta);
    }
    return tree;
}
