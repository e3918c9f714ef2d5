#include "tree.h"
#include "harness.h"

#include <fstream>
#include <sstream>

std::string Lower(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

bool IsTemporary(const std::string &path) {
    const std::string name = Lower(fs::path(path).filename().string());
    for (const char *prefix : {"~tessivard-partial", "~tessivard-old", "~tessivard-record-", "~tessivard-flush"})
        if (name.rfind(prefix, 0) == 0) return true;
    return false;
}

bool IsWithin(const std::string &path, const std::string &folder) {
    return path == folder || path.rfind(folder + "/", 0) == 0;
}

void WriteTree(const fs::path &root, const Tree &tree) {
    fs::create_directories(root);
    for (const std::string &folder : tree.folders) fs::create_directories(root / folder);
    for (const auto &[path, content] : tree.files) {
        fs::create_directories((root / path).parent_path());
        std::ofstream out(root / path, std::ios::binary);
        out << content;
        if (!out.flush()) Fail("cannot write " + (root / path).string());
    }
}

Tree ReadTree(const fs::path &root) {
    Tree tree;
    std::error_code error;
    if (!fs::is_directory(root, error)) return tree;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        const std::string path = fs::relative(it->path(), root).generic_string();
        if (it->is_directory(error)) {
            tree.folders.insert(path);
        } else {
            std::ifstream in(it->path(), std::ios::binary);
            std::ostringstream content;
            content << in.rdbuf();
            if (in.bad()) Fail("cannot read " + it->path().string());
            tree.files[path] = content.str();
        }
    }
    if (error) Fail("cannot list " + root.string() + ": " + error.message());
    return tree;
}

FoldedTree Fold(const Tree &tree) {
    FoldedTree folded;
    auto add = [&folded](const std::string &path) {
        const std::string key = Lower(path);
        auto [it, added] = folded.spelled.emplace(key, path);
        if (!added && folded.clash.empty()) folded.clash = it->second + " and " + path;
        return key;
    };
    for (const auto &[path, content] : tree.files) folded.files[add(path)] = content;
    for (const std::string &path : tree.folders) folded.folders.insert(add(path));
    return folded;
}

std::string FirstDifference(const FoldedTree &want, const FoldedTree &got) {
    for (const auto &[path, content] : want.files) {
        auto it = got.files.find(path);
        if (it == got.files.end()) return "missing file: " + path;
        if (it->second != content)
            return "other content: " + path + " (" + std::to_string(it->second.size()) + " bytes, not " +
                   std::to_string(content.size()) + ")";
    }
    for (const auto &[path, content] : got.files)
        if (!want.files.count(path)) return "extra file: " + got.spelled.at(path);
    for (const std::string &path : want.folders)
        if (!got.folders.count(path)) return "missing folder: " + path;
    for (const std::string &path : got.folders)
        if (!want.folders.count(path)) return "extra folder: " + got.spelled.at(path);
    return "";
}
