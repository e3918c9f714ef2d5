// The capacity: what the files may take, and what statfs reports of it. Space is counted in
// blocks of 4096 bytes: a file takes its size rounded up to whole blocks, folders take none,
// and a capacity that is no multiple of the block counts its whole blocks only.
#include "request_support.h"

#include <sys/statvfs.h>

#include <algorithm>

// Blocks reported while the capacity is unlimited: 1 TiB.
constexpr uint64_t kUnlimitedBlocks = uint64_t(1) << 28;
constexpr uint64_t kInodes = uint64_t(1) << 20;

// The largest file: the whole tree lives in this process's memory.
constexpr uint64_t kMaxFileSize = uint64_t(1) << 32;

int FileSystem::space_for(const Node& file, uint64_t new_size) const
{
    const uint64_t before = blocks_for(file.data.size()), after = blocks_for(new_size);
    if (new_size > kMaxFileSize)
        return EFBIG;
    if (capacity == 0 || after <= before)
        return 0;
    return store.live.used_blocks() + (after - before) <= capacity / kBlockSize ? 0 : ENOSPC;
}

namespace names {

void statfs(fuse_req_t req, fuse_ino_t)
{
    Held h(req);
    if (!h.powered())
        return;
    const uint64_t total = h.fs.capacity ? h.fs.capacity / kBlockSize : kUnlimitedBlocks;
    const uint64_t used = h.tree().used_blocks();
    struct statvfs st{};
    st.f_bsize = st.f_frsize = kBlockSize;
    st.f_blocks = total;
    st.f_bfree = st.f_bavail = total > used ? total - used : 0;
    st.f_files = kInodes;
    st.f_ffree = st.f_favail = kInodes - std::min<uint64_t>(kInodes, h.tree().nodes.size());
    st.f_namemax = kNameMax;
    fuse_reply_statfs(req, &st);
}

} // namespace names
