// Space: files take their size in blocks of 4096, and statfs reports the capacity.
#include "probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

void capacity_bounds_the_files()
{
    ctl("reset");
    check(ctl("capacity 65536"), "capacity");           // 16 blocks, 2 taken by the template
    struct statvfs vfs{};
    statvfs(mnt.c_str(), &vfs);
    check(vfs.f_bsize == 4096 && vfs.f_frsize == 4096 && vfs.f_blocks == 16 && vfs.f_bfree == 14,
          "statfs reports the capacity in blocks of 4096");
    const std::string big = mnt + "/big";
    int fd = open(big.c_str(), O_WRONLY | O_CREAT, 0644);
    const std::string block(4096, 'b');
    int written = 0;
    while (written < 20 && write(fd, block.data(), block.size()) == 4096)
        ++written;
    check(written == 14 && errno == ENOSPC, "writes fill the capacity, then ENOSPC");
    check(pwrite(fd, "B", 1, 0) == 1, "a full store still overwrites within a file");
    check(ftruncate(fd, 15 * 4096) != 0 && errno == ENOSPC, "truncate beyond: ENOSPC");
    check(fallocate(fd, 0, 0, 15 * 4096) != 0 && errno == ENOSPC, "fallocate beyond: ENOSPC");
    struct stat st{};
    check(fstat(fd, &st) == 0 && st.st_size == 14 * 4096, "a failed growth changes nothing");
    close(fd);
    unlink(big.c_str());
    statvfs(mnt.c_str(), &vfs);
    check(vfs.f_bfree == 14, "unlink gives the space back");
    ctl("capacity 0");
}
