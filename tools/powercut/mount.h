// One mount of the file system at a time, served by a thread of its own. A reset and a cut
// unmount and mount anew, so that nothing the kernel cached outlives the tree it came from.
#pragma once

#include "filesystem.h"

#include <string>
#include <thread>

class Mount {
public:
    Mount(std::string mountpoint, FileSystem& fs) : mountpoint_(std::move(mountpoint)), fs_(fs) {}
    ~Mount() { stop(); }

    // Mounted and answering requests once it returns true.
    bool start(std::string& error);
    // Unmounted, and the old connection cut: whatever a program still holds open on it fails
    // from now on (ENOTCONN), as it would with the power gone.
    void stop();
    bool mounted() const { return session_ != nullptr; }

private:
    void serve();

    std::string mountpoint_;
    FileSystem& fs_;
    fuse_session* session_ = nullptr;
    int wake_ = -1; // an eventfd that ends serve()
    std::thread server_;
};
