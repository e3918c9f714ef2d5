#include "mount.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool Mount::start(std::string& error)
{
    // default_permissions: the kernel checks the permission bits we report; we run as root.
    const char* argv[] = {"powercutfs", "-o",
                          "fsname=powercutfs,subtype=powercutfs,default_permissions"};
    fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(argv));
    const fuse_lowlevel_ops& ops = request_handlers();
    session_ = fuse_session_new(&args, &ops, sizeof ops, &fs_);
    if (!session_) {
        error = "cannot make a FUSE session";
        return false;
    }
    if (fuse_session_mount(session_, mountpoint_.c_str()) != 0) {
        fuse_session_destroy(session_);
        session_ = nullptr;
        error = "cannot mount on " + mountpoint_ + " (is /dev/fuse there, and are we root?)";
        return false;
    }
    // Never block on a request that went away between poll and read: serve() polls again.
    const int fd = fuse_session_fd(session_);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    wake_ = eventfd(0, EFD_CLOEXEC);
    server_ = std::thread(&Mount::serve, this);

    // The first request waits for the kernel's INIT to be answered: once the root answers,
    // the mount serves.
    struct stat st{};
    if (stat(mountpoint_.c_str(), &st) != 0 || st.st_ino != kRootIno) {
        error = "the new mount does not answer: " + std::string(strerror(errno));
        stop();
        return false;
    }
    return true;
}

// One request at a time: each sees and leaves a whole state, however many threads of the
// program under test do I/O at once. The kernel queues the rest.
void Mount::serve()
{
    fuse_buf buf{};
    pollfd fds[2] = {{fuse_session_fd(session_), POLLIN, 0}, {wake_, POLLIN, 0}};
    while (!fuse_session_exited(session_)) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents || (fds[0].revents & (POLLERR | POLLHUP)))
            break;
        int got = fuse_session_receive_buf(session_, &buf);
        if (got == -EINTR || got == -EAGAIN)
            continue;
        if (got <= 0)
            break;
        fuse_session_process_buf(session_, &buf);
    }
    free(buf.mem);
}

void Mount::stop()
{
    if (!session_)
        return;
    // Detach first, so that no new path reaches the old mount; programs with files open on
    // it keep them until the device is closed below.
    umount2(mountpoint_.c_str(), MNT_DETACH);
    uint64_t one = 1;
    if (write(wake_, &one, sizeof one) != sizeof one)
        perror("powercutfs: waking the server");
    server_.join();
    // Closing the last descriptor of /dev/fuse cuts the connection.
    fuse_session_destroy(session_);
    session_ = nullptr;
    close(wake_);
    wake_ = -1;
}
