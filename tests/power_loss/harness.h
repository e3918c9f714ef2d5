// What every part of the power-loss harness shares: where it works, and how it gives up.
#pragma once
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

// The harness cannot do its part (a mount, a daemon, a folder it cannot read): it ends with
// exit code 1 and says why. Never a skip: a case not run proves nothing.
[[noreturn]] void Fail(const std::string &why);

struct Places {
    std::string build;     // the build tree
    std::string program;   // the cut build under test
    std::string tools;     // the source tree's tools: the Wine wrapper
    std::string powercutfs;
    std::string serverLog; // what the persistent wineserver prints (tools/wine-run.sh keeps it)
    fs::path work;         // this run's own folder: templates, sockets, the device root
    fs::path root;         // the device root: ResidentFlash and SDMMC, each a powercutfs mount
};
extern Places g_places;
