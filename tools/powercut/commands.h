// The control commands: load, reset, capacity, arm, cut, recut, fail, stats, vacated, quit.
#pragma once

#include "filesystem.h"
#include "mount.h"

#include <string>

struct Daemon {
    explicit Daemon(const std::string& mountpoint) : mount(mountpoint, fs) {}
    FileSystem fs;
    Mount mount;
};

// One command line in, one reply line out ("ok ..." or "error <reason>"). The caller holds no
// lock: a command that remounts must let the mount's requests through.
std::string run_command(Daemon& daemon, const std::string& line, bool& quit);
