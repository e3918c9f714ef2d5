#include "template_load.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

static bool failed(const std::string& path, std::string& error)
{
    error = path + ": " + strerror(errno);
    return false;
}

static void take_meta(const struct stat& st, Meta& meta)
{
    meta.mode = st.st_mode;
    meta.uid = st.st_uid;
    meta.gid = st.st_gid;
    meta.atime = st.st_atim;
    meta.mtime = st.st_mtim;
    meta.ctime = now();
}

// Only the user.* namespace: the others belong to the machine the folder lies on.
static bool take_xattrs(const std::string& path, Meta& meta, std::string& error)
{
    ssize_t size = llistxattr(path.c_str(), nullptr, 0);
    if (size < 0)
        return errno == ENOTSUP || failed(path, error);
    std::vector<char> names(size_t(size) + 1, '\0');
    size = llistxattr(path.c_str(), names.data(), names.size() - 1);
    if (size < 0)
        return failed(path, error);
    for (const char* name = names.data(); name < names.data() + size; name += strlen(name) + 1) {
        if (strncmp(name, "user.", 5) != 0)
            continue;
        ssize_t len = lgetxattr(path.c_str(), name, nullptr, 0);
        std::string value(len > 0 ? size_t(len) : 0, '\0');
        if (len < 0 || lgetxattr(path.c_str(), name, value.data(), value.size()) != len)
            return failed(path, error);
        meta.xattrs[name] = value;
    }
    return true;
}

static bool take_content(const std::string& path, uint64_t size, Blob& data, std::string& error)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failed(path, error);
    std::string& bytes = data.edit();
    bytes.resize(size);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t got = read(fd, &bytes[done], bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = path + ": " + (got < 0 ? strerror(errno) : "shrank while being read");
            close(fd);
            return false;
        }
        done += size_t(got);
    }
    close(fd);
    return true;
}

// Fills the folder node ino from path, and everything below it.
static bool take_folder(const std::string& path, Ino ino, Tree& tree, std::string& error)
{
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return failed(path, error);
    bool ok = true;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string child = path + "/" + name;
        struct stat st{};
        if (lstat(child.c_str(), &st) != 0) {
            ok = failed(child, error);
            break;
        }
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
            error = child + ": neither a file nor a folder";
            ok = false;
            break;
        }
        const Ino made = tree.next_ino++;
        Node& node = tree.nodes[made];
        Meta& meta = tree.change(made);
        take_meta(st, meta);
        meta.parent = ino;
        tree.change(ino).entries[name] = made;
        ok = take_xattrs(child, meta, error) &&
             (S_ISDIR(st.st_mode) ? take_folder(child, made, tree, error)
                                  : take_content(child, uint64_t(st.st_size), node.data, error));
        if (!ok)
            break;
    }
    closedir(dir);
    return ok;
}

bool load_folder(const std::string& dir, Tree& tree, std::string& error)
{
    struct stat st{};
    if (stat(dir.c_str(), &st) != 0)
        return failed(dir, error);
    if (!S_ISDIR(st.st_mode)) {
        error = dir + ": not a folder";
        return false;
    }
    tree = Tree();
    Meta& root = tree.change(kRootIno);
    take_meta(st, root);
    root.parent = kRootIno;
    return take_xattrs(dir, root, error) && take_folder(dir, kRootIno, tree, error);
}
