#include "commands.h"

#include "template_load.h"

#include <functional>

using Guard = std::lock_guard<std::mutex>;

// The power is already out (fs.powered is false). The mount goes, the tree the power comes
// back with is made, and a new mount serves it: no cache of the old one survives. A pulled
// card is back in when the power comes back.
static std::string power_on(Daemon& d, const std::function<void(FileSystem&)>& come_back)
{
    d.mount.stop();
    {
        Guard g(d.fs.lock);
        come_back(d.fs);
        d.fs.powered = true;
        d.fs.fail_from = 0;
    }
    std::string error;
    return d.mount.start(error) ? "ok" : "error " + error;
}

// Whole decimal digits only: "12k", "-1" and "" are refused rather than read as something.
static bool parse_number(const std::string& word, uint64_t& n)
{
    if (word.empty() || word.size() > 19 || word.find_first_not_of("0123456789") != word.npos)
        return false;
    n = std::stoull(word);
    return true;
}

// "flushed", "immediate" or "mixed SEED".
static bool parse_cut(const std::string& arg, PowerCut& cut)
{
    if (arg == "flushed")
        cut.loss = Loss::flushed;
    else if (arg == "immediate")
        cut.loss = Loss::immediate;
    else if (arg.compare(0, 6, "mixed ") == 0 && parse_number(arg.substr(6), cut.seed))
        cut.loss = Loss::mixed;
    else
        return false;
    return true;
}

static std::string stats(FileSystem& fs)
{
    Guard g(fs.lock);
    const Counters& c = fs.counts;
    return "ok fsync=" + std::to_string(c.fsync) + " fsyncdir=" + std::to_string(c.fsyncdir) +
           " renames=" + std::to_string(c.renames) + " writes=" + std::to_string(c.writes) +
           " creates=" + std::to_string(c.creates) + " mkdirs=" + std::to_string(c.mkdirs) +
           " unlinks=" + std::to_string(c.unlinks) + " rmdirs=" + std::to_string(c.rmdirs) +
           " refused=" + std::to_string(c.refused) +
           " used=" + std::to_string(fs.store.live.used_blocks() * kBlockSize) +
           " requests=" + std::to_string(c.requests);
}

static std::string load(FileSystem& fs, const std::string& dir)
{
    Tree tree;
    std::string error;
    if (!load_folder(dir, tree, error)) // reads the disk without holding up the mount
        return "error " + error;
    Guard g(fs.lock);
    fs.layout = std::move(tree);
    return "ok";
}

static std::string cut(Daemon& d, const PowerCut& how, bool again)
{
    {
        Guard g(d.fs.lock);
        if (again && !d.fs.cut)
            return "error no cut since the last reset";
        d.fs.powered = false;
        if (!again)
            d.fs.cut = d.fs.store; // the moment of the cut, for a recut
    }
    return power_on(d, [how](FileSystem& fs) { fs.store.power_on(fs.cut->after_cut(how)); });
}

std::string run_command(Daemon& d, const std::string& line, bool& quit)
{
    static const std::string usage = "error usage: load DIR | reset | capacity BYTES | arm | "
                                     "cut MODE | recut MODE | fail K | stats | vacated | quit "
                                     "(MODE: flushed, immediate or mixed SEED)";
    const size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string arg = space == line.npos ? "" : line.substr(space + 1);
    const bool has_arg = space != line.npos;
    PowerCut how;
    uint64_t n = 0;

    if (word == "load" && !arg.empty())
        return load(d.fs, arg);
    if (word == "capacity" && parse_number(arg, n)) {
        Guard g(d.fs.lock);
        d.fs.capacity = n;
        return "ok";
    }
    if ((word == "cut" || word == "recut") && parse_cut(arg, how))
        return cut(d, how, word == "recut");
    if (word == "fail" && parse_number(arg, n)) {
        Guard g(d.fs.lock);
        d.fs.fail_from = n;
        d.fs.since_fail = 0;
        return "ok";
    }
    if (has_arg)
        return usage;
    if (word == "reset") {
        {
            Guard g(d.fs.lock);
            d.fs.powered = false;
        }
        return power_on(d, [](FileSystem& fs) {
            fs.store.power_on(fs.layout);
            fs.lay_out_paths();
            fs.cut.reset();
            fs.counts = Counters();
        });
    }
    if (word == "arm") {
        Guard g(d.fs.lock);
        d.fs.store.arm();
        d.fs.counts = Counters();
        return "ok";
    }
    if (word == "stats")
        return stats(d.fs);
    if (word == "vacated") {
        Guard g(d.fs.lock);
        return "ok" + d.fs.vacated_list();
    }
    if (word == "quit") {
        d.mount.stop();
        quit = true;
        return "ok";
    }
    return usage;
}
