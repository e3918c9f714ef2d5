// Space: files take their size in blocks of 4096, folders a block each, statfs reports both,
// and a write that does not fit takes what fits.
#include "probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

// The template takes 4 of 16 blocks: keep.txt, sub/inner.txt, and the folders sub and empty.
constexpr unsigned long kTemplateFree = 12;

static unsigned long free_blocks()
{
    struct statvfs vfs{};
    return statvfs(mnt.c_str(), &vfs) == 0 ? vfs.f_bfree : ~0ul;
}

void capacity_bounds_the_files()
{
    ctl("reset");
    check(ctl("capacity 65536"), "capacity");
    struct statvfs vfs{};
    statvfs(mnt.c_str(), &vfs);
    check(vfs.f_bsize == 4096 && vfs.f_frsize == 4096 && vfs.f_blocks == 16 &&
              vfs.f_bfree == kTemplateFree,
          "statfs reports the capacity in blocks of 4096, the template's folders taken");
    const std::string big = mnt + "/big";
    int fd = open(big.c_str(), O_WRONLY | O_CREAT, 0644);
    const std::string block(4096, 'b');
    unsigned long written = 0;
    while (written < 20 && write(fd, block.data(), block.size()) == 4096)
        ++written;
    check(written == kTemplateFree && errno == ENOSPC, "writes fill the capacity, then ENOSPC");
    check(pwrite(fd, "B", 1, 0) == 1, "a full store still overwrites within a file");
    check(ftruncate(fd, 13 * 4096) != 0 && errno == ENOSPC, "truncate beyond: ENOSPC");
    check(fallocate(fd, 0, 0, 13 * 4096) != 0 && errno == ENOSPC, "fallocate beyond: ENOSPC");
    struct stat st{};
    check(fstat(fd, &st) == 0 && st.st_size == off_t(kTemplateFree * 4096),
          "a failed growth changes nothing");
    close(fd);
    unlink(big.c_str());
    check(free_blocks() == kTemplateFree, "unlink gives the space back");
    ctl("capacity 0");
}

void folders_take_a_block()
{
    ctl("reset");
    ctl("capacity 65536");
    check(mkdir((mnt + "/d0").c_str(), 0755) == 0 && free_blocks() == kTemplateFree - 1,
          "statfs counts a new folder's block");
    check(rmdir((mnt + "/d0").c_str()) == 0 && free_blocks() == kTemplateFree,
          "rmdir gives the folder's block back");
    unsigned long made = 0;
    while (made < 20 && mkdir((mnt + "/d" + std::to_string(made)).c_str(), 0755) == 0)
        ++made;
    check(made == kTemplateFree && errno == ENOSPC, "folders fill the capacity, then ENOSPC");
    check(mkdir((mnt + "/d0").c_str(), 0755) != 0 && errno == EEXIST,
          "a full store still says EEXIST for a name that is taken");
    int fd = open((mnt + "/f").c_str(), O_WRONLY | O_CREAT, 0644);
    check(fd >= 0 && write(fd, "x", 1) < 0 && errno == ENOSPC,
          "a file finds no room where folders took it");
    if (fd >= 0)
        close(fd);
    check(rename((mnt + "/d1").c_str(), (mnt + "/sub/d1").c_str()) == 0,
          "a folder moves on a full store: a move takes no block");
    const std::string block(4096, 'f');
    fd = open((mnt + "/f").c_str(), O_WRONLY);
    check(rmdir((mnt + "/sub/d1").c_str()) == 0 && fd >= 0 &&
              write(fd, block.data(), block.size()) == 4096,
          "a removed folder's block holds a file");
    if (fd >= 0)
        close(fd);
    ctl("capacity 0");
}

// The second write starts at a block's edge and covers whole pages, so the kernel sends it as
// one request, and the daemon alone decides what of it goes in (a write that starts within
// a page is sent a page at a time, and the kernel cuts it short itself).
void a_write_takes_what_fits()
{
    ctl("reset");
    ctl("capacity 65536");
    const std::string first((kTemplateFree - 1) * 4096, 'a'), second(8192 + 50, 'b');
    const size_t fits = 4096;
    int fd = open((mnt + "/big").c_str(), O_WRONLY | O_CREAT, 0644);
    check(fd >= 0 && write(fd, first.data(), first.size()) == ssize_t(first.size()),
          "a write that fits goes in whole");
    check(write(fd, second.data(), second.size()) == ssize_t(fits),
          "a write beyond the capacity returns the count that fits");
    errno = 0;
    check(write(fd, second.data(), second.size()) < 0 && errno == ENOSPC,
          "the next write fails with ENOSPC");
    if (fd >= 0)
        close(fd);
    const Maybe got = get(mnt + "/big");
    check(got && *got == first + second.substr(0, fits),
          "the short write kept the part that fit, and only it");
    check(free_blocks() == 0, "the store is full");
    ctl("capacity 0");
}
