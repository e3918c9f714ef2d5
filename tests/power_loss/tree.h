// A device's folder as the checks see it: its files with their content and its folders, by
// path relative to the folder. The device matches names without regard to letter case, so
// the checks compare trees folded to lower case, and a folder that holds two names differing
// only in case is a fault of its own.
#pragma once
#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace fs = std::filesystem;

struct Tree {
    std::map<std::string, std::string> files;   // path as spelled -> content
    std::set<std::string> folders;              // every folder below the top one, as spelled
};

struct FoldedTree {
    std::map<std::string, std::string> files;   // lower-case path -> content
    std::set<std::string> folders;              // lower-case paths
    std::map<std::string, std::string> spelled; // lower-case path -> as the folder spells it
    std::string clash;                          // two names of one folder differing in case only
};

std::string Lower(std::string s);
// The program's own files beside the content: its temporaries ("~tessivard-partial.tmp",
// "~tessivard-partial-N.tmp"), the old versions it sets aside ("~tessivard-old*.tmp"), its
// recovery record's slots and its flush file: never content.
bool IsTemporary(const std::string &path);
// Whether path is folder or lies inside it (both lower case).
bool IsWithin(const std::string &path, const std::string &folder);

// Makes the files and folders of tree under root (created as needed).
void WriteTree(const fs::path &root, const Tree &tree);
// What root holds now; a folder that is missing reads as empty. Ends the harness when the
// folder cannot be read: a check on half a tree proves nothing.
Tree ReadTree(const fs::path &root);
FoldedTree Fold(const Tree &tree);
// The first difference between two folded trees, as "what: path"; "" when they are equal.
std::string FirstDifference(const FoldedTree &want, const FoldedTree &got);
