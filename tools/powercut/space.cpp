// The capacity: what the files and folders may take, and what statfs reports of it. Space is
// counted in blocks of 4096 bytes: a file takes its size rounded up to whole blocks, a folder
// one block (as a FAT folder takes a cluster), and a capacity that is no multiple of the block
// counts its whole blocks only.
#include "request_support.h"

#include <sys/statvfs.h>

#include <algorithm>

// Blocks reported while the capacity is unlimited: 1 TiB.
constexpr uint64_t kUnlimitedBlocks = uint64_t(1) << 28;
constexpr uint64_t kInodes = uint64_t(1) << 20;

static uint64_t free_blocks(const FileSystem& fs)
{
    const uint64_t total = fs.capacity / kBlockSize, used = fs.store.live.used_blocks();
    return total > used ? total - used : 0;
}

uint64_t FileSystem::size_limit(const Node& file) const
{
    if (capacity == 0)
        return kMaxFileSize;
    const uint64_t blocks = blocks_for(file.data.size()) + free_blocks(*this);
    return std::min(kMaxFileSize, blocks * kBlockSize);
}

int FileSystem::space_for(const Node& file, uint64_t new_size) const
{
    if (new_size > kMaxFileSize)
        return EFBIG;
    return new_size <= size_limit(file) ? 0 : ENOSPC;
}

uint64_t FileSystem::free_bytes() const
{
    const uint64_t total = capacity ? capacity / kBlockSize : kUnlimitedBlocks;
    const uint64_t used = store.live.used_blocks();
    return (total > used ? total - used : 0) * kBlockSize;
}

int FileSystem::space_for_folder() const
{
    return capacity == 0 || free_blocks(*this) > 0 ? 0 : ENOSPC;
}

namespace names {

void statfs(fuse_req_t req, fuse_ino_t)
{
    Held h(req);
    if (!h.powered())
        return;
    struct statvfs st{};
    st.f_bsize = st.f_frsize = kBlockSize;
    st.f_blocks = h.fs.capacity ? h.fs.capacity / kBlockSize : kUnlimitedBlocks;
    st.f_bfree = st.f_bavail = h.fs.free_bytes() / kBlockSize;
    st.f_files = kInodes;
    st.f_ffree = st.f_favail = kInodes - std::min<uint64_t>(kInodes, h.tree().nodes.size());
    st.f_namemax = kNameMax;
    fuse_reply_statfs(req, &st);
}

} // namespace names
