#include "daemon.h"
#include "harness.h"

#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::vector<PowercutMount *> g_running;

void Unmount(const std::string &folder) {
    const std::string line = "mountpoint -q '" + folder + "' && umount -l '" + folder + "'";
    if (std::system(line.c_str()) != 0) {}   // not mounted: nothing to do
}

} // namespace

void PowercutMount::Start(const std::string &mountpoint, const std::string &socket, const std::vector<std::string> &options) {
    m_mountpoint = mountpoint;
    m_socket = socket;
    Unmount(mountpoint);   // a mount a killed run left behind
    int out[2];
    if (pipe(out) != 0) Fail("no pipe for powercutfs");
    m_pid = fork();
    if (m_pid < 0) Fail("cannot fork powercutfs");
    if (m_pid == 0) {
        // The daemon goes with the harness, even one killed outright: the mount with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        std::vector<char *> argv = {const_cast<char *>(g_places.powercutfs.c_str())};
        for (const std::string &option : options) argv.push_back(const_cast<char *>(option.c_str()));
        argv.push_back(const_cast<char *>(mountpoint.c_str()));
        argv.push_back(const_cast<char *>(socket.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    g_running.push_back(this);
    std::string said;
    pollfd wait = {out[0], POLLIN, 0};
    char c;
    // A loaded machine can take many seconds to start it: up to a minute for each byte it says.
    while (said.find("ready\n") == said.npos && poll(&wait, 1, 60000) == 1 && read(out[0], &c, 1) == 1) said += c;
    close(out[0]);
    if (said.find("ready\n") == said.npos) Fail(std::string("powercutfs (") + m_name + ") did not mount " + mountpoint);
}

std::string PowercutMount::Send(const std::string &command) {
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", m_socket.c_str());
    std::string reply;
    if (s >= 0 && connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
        const std::string line = command + "\n";
        char c;
        if (write(s, line.data(), line.size()) == ssize_t(line.size()))
            while (read(s, &c, 1) == 1 && c != '\n') reply += c;
    }
    if (s >= 0) close(s);
    return reply;
}

std::string PowercutMount::Control(const std::string &command) {
    const std::string reply = Send(command);
    if (reply.rfind("ok", 0) != 0)
        Fail(std::string(m_name) + " " + command + ": " + (reply.empty() ? "no answer from powercutfs" : reply));
    return reply;
}

long long PowercutMount::Stat(const std::string &key) {
    const std::string reply = Control("stats");
    const size_t at = reply.find(" " + key + "=");
    if (at == reply.npos) Fail("no " + key + " in the stats line: " + reply);
    return std::atoll(reply.c_str() + at + key.size() + 2);
}

void PowercutMount::Stop() {
    if (m_pid <= 0) return;
    if (Send("quit").rfind("ok", 0) != 0) kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    Unmount(m_mountpoint);
    std::erase(g_running, this);
}

void StopAllMounts() {
    while (!g_running.empty()) g_running.back()->Stop();
}
