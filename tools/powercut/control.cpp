#include "control.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

// A command is a word and a path at most: a longer line is refused, not cut short.
constexpr size_t kMaxLine = 8192;

// The address of path; false if it does not fit sun_path with its terminating zero.
static bool address_of(const std::string& path, sockaddr_un& addr, std::string& error)
{
    addr = sockaddr_un{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        error = "socket path must be 1 to " + std::to_string(sizeof addr.sun_path - 1) + " bytes";
        return false;
    }
    memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

static bool send_all(int fd, const std::string& text)
{
    for (size_t done = 0; done < text.size();) {
        ssize_t sent = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        done += size_t(sent);
    }
    return true;
}

int listen_at(const std::string& path, std::string& error)
{
    sockaddr_un addr;
    if (!address_of(path, addr, error))
        return -1;
    struct stat st{};
    if (lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
        unlink(path.c_str());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(fd, 8) != 0) {
        error = path + ": " + strerror(errno);
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

// Waits until fd is readable; false once stop_fd is.
static bool wait_for(int fd, int stop_fd)
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
    while (poll(fds, 2, -1) < 0)
        if (errno != EINTR)
            return false;
    return fds[1].revents == 0;
}

// Answers the lines of one connection; false once the handler said quit or a signal came.
static bool serve_client(int client, int stop_fd, const LineHandler& handle)
{
    std::string pending;
    char chunk[4096];
    while (wait_for(client, stop_fd)) {
        ssize_t got = recv(client, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        pending.append(chunk, size_t(got));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            bool quit = false;
            const bool sent = send_all(client, handle(line, quit) + "\n");
            if (quit)
                return false;
            if (!sent)
                return true;
        }
        if (pending.size() > kMaxLine) {
            send_all(client, "error line too long\n");
            return true;
        }
    }
    return false;
}

void serve_lines(int listener, int stop_fd, const LineHandler& handle)
{
    while (wait_for(listener, stop_fd)) {
        int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const bool more = serve_client(client, stop_fd, handle);
        close(client);
        if (!more)
            return;
    }
}

int send_line(const std::string& path, const std::string& line)
{
    std::string error;
    sockaddr_un addr;
    if (line.find('\n') != std::string::npos)
        error = "a command is one line";
    else if (address_of(path, addr, error)) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            !send_all(fd, line + "\n"))
            error = path + ": " + strerror(errno);
        std::string reply;
        char c = 0;
        while (error.empty() && reply.size() <= kMaxLine) {
            ssize_t got = recv(fd, &c, 1, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                error = "no reply from " + path;
                break;
            }
            if (c == '\n')
                break;
            reply.push_back(c);
        }
        if (fd >= 0)
            close(fd);
        if (error.empty()) {
            printf("%s\n", reply.c_str());
            return reply == "ok" || reply.compare(0, 3, "ok ") == 0 ? 0 : 1;
        }
    }
    printf("error %s\n", error.c_str());
    return 1;
}
