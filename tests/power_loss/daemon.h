// One powercutfs daemon and its mount: started, told what to do through its control socket,
// and stopped with its mount unmounted, whichever way the harness ends.
#pragma once
#include <string>
#include <vector>
#include <sys/types.h>

class PowercutMount {
public:
    explicit PowercutMount(const char *pszName) : m_name(pszName) {}
    // Mounts at mountpoint (an empty folder) with powercutfs's options ("--uncached" for the
    // card, "--refuse-replace") and waits for "ready".
    void Start(const std::string &mountpoint, const std::string &socket, const std::vector<std::string> &options);
    // The reply line; ends the harness unless it starts with "ok".
    std::string Control(const std::string &command);
    // One number of the stats line ("requests", "fsync", ...).
    long long Stat(const std::string &key);
    void Stop();

private:
    std::string Send(const std::string &command);

    const char *m_name;        // "flash" or "card", for messages
    std::string m_mountpoint, m_socket;
    pid_t m_pid = -1;
};

// Stops every daemon still running and unmounts its folder; at exit and on a signal.
void StopAllMounts();
