// Which of the template's files a run removed before anything took their place, and how much
// room was free when it did: the harness asks after a run that was cut, to know the files
// whose old version went first (an update's replacement in place, where only the old
// version's room holds the new one) and that may be missing until the new one is there. The
// room tells a replacement in place from an old version removed while the new one would have
// fitted beside it.
#include "filesystem.h"

#include <algorithm>
#include <vector>

// The name path leads to from the root, or 0.
static Ino resolve(const Tree& tree, const std::string& path)
{
    Ino at = kRootIno;
    for (size_t from = 0; from <= path.size();) {
        const size_t slash = std::min(path.find('/', from), path.size());
        if (tree.lookup(at, path.substr(from, slash - from), at) != 0)
            return 0;
        from = slash + 1;
    }
    return at;
}

void FileSystem::lay_out_paths()
{
    laid_out.clear();
    vacated.clear();
    std::vector<std::pair<Ino, std::string>> todo{{kRootIno, ""}};
    while (!todo.empty()) {
        const auto [ino, path] = todo.back();
        todo.pop_back();
        for (const auto& [name, child] : store.live.nodes.at(ino).meta().entries) {
            const std::string below = path.empty() ? name : path + "/" + name;
            if (store.live.nodes.at(child).is_dir())
                todo.emplace_back(child, below);
            else
                laid_out[child] = below;
        }
    }
}

void FileSystem::note_unlinked(Ino file, uint64_t free_before)
{
    auto it = laid_out.find(file);
    if (it == laid_out.end())
        return;
    const Ino now = resolve(store.live, it->second);
    if (now == 0 || store.live.nodes.at(now).is_dir()) {
        auto [at, fresh] = vacated.emplace(it->second, free_before);
        if (!fresh)
            at->second = std::min(at->second, free_before);
    }
}

// Bytes a name may hold that would split the reply's list: '%', space, and control bytes.
std::string FileSystem::vacated_list() const
{
    static const char hex[] = "0123456789ABCDEF";
    std::string list;
    for (const auto& [path, free_before] : vacated) {
        list += ' ' + std::to_string(free_before) + ':';
        for (unsigned char c : path) {
            if (c == '%' || c <= ' ' || c == 0x7F)
                list += {'%', hex[c >> 4], hex[c & 15]};
            else
                list += char(c);
        }
    }
    return list;
}
