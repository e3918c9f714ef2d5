// Reading a Linux folder into a tree: the template that a reset lays out.
#pragma once

#include "tree.h"

#include <string>

// Files, folders, contents, permission bits, owners, times and user.* extended attributes.
// Links and special files are refused: the flash store holds neither.
bool load_folder(const std::string& dir, Tree& tree, std::string& error);
