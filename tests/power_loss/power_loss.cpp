// The power-loss harness: an update cut at every point where the power can go, on a flash
// store that forgets what was not flushed (powercutfs), with the card on the plain disk,
// whose writes persist at once, as the device's two file systems do.
//
//   power_loss BUILD PROGRAM [--room] [--expect-caught]
//
// PROGRAM is a cut build (it ends with exit code 99 right after its k-th file operation,
// k = TESSIVARD_CUT_AFTER). For every k of the prepared update the harness runs it, loses
// the power twice over (the names as at the last flush, and as at the cut; in both, a file
// changed since its own last flush comes back empty), and checks each loss: every file of
// the update byte for byte on the card or whole in the flash store, every flash file that
// the update does not replace unchanged, nothing torn or mixed, no temporary taken for
// content, no planned deletion lost for good (marker gone, folder back). Then an
// uninterrupted run must leave the flash store exactly as one uninterrupted run does.
// With --room the flash store is small and nearly full: a 512 KiB map replaced by a new
// version with 160 KiB free, which goes in only in the old version's room.
// With --expect-caught the program is one with a safety rule broken: the harness stops at
// its third catching cut and passes only if some cut caught it.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <csignal>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;   // relative path -> content

extern char **environ;

namespace {

// The program's temporaries: "~tessivard-partial.tmp" and "~tessivard-partial-N.tmp", one
// per writer; never content.
bool IsTemporary(const std::string &path) { return fs::path(path).filename().string().rfind("~tessivard-partial", 0) == 0; }
std::string g_build, g_program, g_tools;
fs::path g_work, g_root, g_socket;
pid_t g_daemon = -1;

[[noreturn]] void Fail(const std::string &why) {
    std::fprintf(stderr, "power_loss: %s\n", why.c_str());
    std::exit(1);
}

void Put(const fs::path &path, const std::string &content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string Bytes(const std::string &seed, size_t size) {
    std::string s;
    for (size_t i = 0; s.size() < size; ++i) s += seed + ":" + std::to_string(i) + "\n";
    s.resize(size);
    return s;
}

// The prepared update: nested folders, files the card replaces, files larger than one copy
// buffer, delete markers with their folders, the image files beside the card folder.
void MakeTemplate(const fs::path &t) {
    const fs::path card = t / "SDMMC/ResidentFlash", flash = t / "ResidentFlash";
    for (const char *marker : {"update", "delete_poi", "delete_old"}) Put(card / marker, "");
    Put(card / "maps/seoul.map", "seoul 2026");
    Put(card / "maps/busan.map", "busan 2026");
    for (int i = 1; i <= 8; ++i) Put(card / ("maps/regions/r" + std::to_string(i) + ".map"), "region " + std::to_string(i));
    Put(card / "big/atlas.bin", Bytes("atlas 2026", 2500000));
    Put(card / "big/voice.bin", Bytes("voice 2026", 1500000));
    for (int i = 1; i <= 30; ++i) Put(card / ("data/d" + std::to_string(i) + ".dat"), "data " + std::to_string(i));
    Put(card / "poi/new.poi", "poi 2026");
    Put(flash / "maps/seoul.map", "seoul 2025");
    Put(flash / "maps/busan.map", "busan 2025");
    Put(flash / "maps/jeju.map", "jeju 2024");
    Put(flash / "big/atlas.bin", Bytes("atlas 2025", 1200000));
    for (const char *f : {"poi/a.poi", "poi/b.poi", "poi/sub/c.poi", "poi/sub/d.poi", "old/x1", "old/x2", "old/x3"})
        Put(flash / f, "old");
    Put(flash / "settings.ini", "volume=7");
    Put(t / "SDMMC/Data.fai", "data image");
    Put(t / "SDMMC/nk.rom", "kernel image");
    Put(t / "SDMMC/tcBoot.rom", "boot image");
}

// The nearly full flash store: 184 units of 4 KiB, 144 of them taken.
constexpr unsigned long long kRoomCapacity = 184 * 4096;
void MakeRoomTemplate(const fs::path &t) {
    const fs::path card = t / "SDMMC/ResidentFlash", flash = t / "ResidentFlash";
    Put(card / "update", "");
    Put(card / "maps/seoul.map", Bytes("seoul 2026", 512 * 1024));
    Put(card / "maps/jeju.map", "jeju 2026");
    Put(card / "readme.txt", "read me");
    Put(flash / "maps/seoul.map", Bytes("seoul 2025", 512 * 1024));
    Put(flash / "settings.ini", Bytes("settings", 64 * 1024 - 100));
}

Files Tree(const fs::path &folder) {
    Files files;
    if (!fs::is_directory(folder)) return files;
    for (const auto &e : fs::recursive_directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        files[fs::relative(e.path(), folder).generic_string()] = content.str();
    }
    return files;
}

// One command to the file system's control socket; its reply line ("" when unreachable).
std::string Send(const std::string &command) {
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", g_socket.c_str());
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

std::string Control(const std::string &command) {
    const std::string reply = Send(command);
    if (reply.rfind("ok", 0) != 0) Fail(command + ": " + (reply.empty() ? "no answer from powercutfs" : reply));
    return reply;
}

int Spawn(const std::vector<std::string> &args, const std::vector<std::string> &env, bool bWait = true) {
    std::vector<char *> argv, envp;
    for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> all = env;
    for (char **e = environ; *e; ++e) all.push_back(*e);
    for (const auto &e : all) envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) Fail("cannot start " + args[0]);
    posix_spawn_file_actions_destroy(&actions);
    if (!bWait) return pid;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One run of the program in the device root; its exit code (99: cut at operation k).
int RunProgram(long k) {
    return Spawn({g_tools + "/wine-run.sh", "--build", g_build, "--root", g_root.string(), g_program},
                 {"TESSIVARD_CUT_AFTER=" + std::to_string(k), "TESSIVARD_TIMEOUT=120"});
}

// The wrapper's status when Wine's own Unix process died of a signal (128 + N; 137 is the
// timeout's kill): a crash inside Wine, not an exit code of the program. A Windows
// exception in the program is an exit code below 128 and counts as the program's.
bool DiedInWine(int code) { return code > 128 && code < 160 && code != 137; }

// A run that died in Wine runs once more, and the output says so; a second death fails.
int RunProgramOnceMoreIfWineDied(long k, const std::string &what, const std::function<void()> &prepare) {
    int code = RunProgram(k);
    if (!DiedInWine(code)) return code;
    std::printf("%s: Wine's process died of Unix signal %d (exit status %d), not the program: run once more\n",
                what.c_str(), code - 128, code);
    std::fflush(stdout);
    prepare();
    code = RunProgram(k);
    if (DiedInWine(code)) Fail(what + ": Wine's process died of Unix signal " + std::to_string(code - 128) + " twice");
    return code;
}

// The card as the template lays it out; hard links, since the update only ever removes
// card files, never changes one.
void LayOutCard(const fs::path &from) {
    fs::remove_all(g_root / "SDMMC");
    fs::copy(from, g_root / "SDMMC", fs::copy_options::recursive | fs::copy_options::create_hard_links);
}

void StopDaemon() {
    if (g_daemon <= 0) return;
    if (Send("quit").rfind("ok", 0) != 0) kill(g_daemon, SIGTERM);
    waitpid(g_daemon, nullptr, 0);
    g_daemon = -1;
    if (std::system(("mountpoint -q '" + (g_root / "ResidentFlash").string() + "' && umount -l '" +
                     (g_root / "ResidentFlash").string() + "'").c_str()) == 0) {}
}

bool IsMarker(const std::string &path) { return path == "update" || path.rfind("delete_", 0) == 0; }

// What a cut may leave; empty when it is sound.
std::string Unsound(const Files &card, const Files &oldFlash) {
    const Files nowCard = Tree(g_root / "SDMMC/ResidentFlash"), nowFlash = Tree(g_root / "ResidentFlash");
    auto holds = [](const Files &f, const std::string &p, const std::string &c) {
        auto i = f.find(p);
        return i != f.end() && i->second == c;
    };
    for (const auto &[path, content] : card)
        if (!IsMarker(path) && !holds(nowCard, path, content) && !holds(nowFlash, path, content)) return "lost: " + path;
    for (const auto &[path, content] : nowFlash) {
        if (IsTemporary(path)) continue;
        if (!holds(oldFlash, path, content) && !holds(card, path, content))
            return "torn: " + path + " (" + std::to_string(content.size()) + " bytes)";
    }
    for (const auto &[path, content] : card) {
        if (path.rfind("delete_", 0) != 0 || nowCard.count(path)) continue;
        const std::string folder = path.substr(7) + "/";
        for (const auto &[p, c] : nowFlash)
            if (p.rfind(folder, 0) == 0 && !card.count(p) && !IsTemporary(p))
                return "marker " + path + " gone, but " + p + " is back";
    }
    for (const auto &[path, content] : oldFlash) {
        const std::string top = path.substr(0, path.find('/'));
        if (!card.count("delete_" + top) && !card.count(path) && !nowFlash.count(path)) return "lost from flash: " + path;
    }
    return "";
}

} // namespace

int main(int argc, char **argv) {
    bool bExpectCaught = false, bRoom = false, bUsage = argc < 3;
    for (int i = 3; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--expect-caught")) bExpectCaught = true;
        else if (!std::strcmp(argv[i], "--room")) bRoom = true;
        else bUsage = true;
    }
    if (bUsage) {
        std::fprintf(stderr, "usage: power_loss BUILD PROGRAM [--room] [--expect-caught]\n");
        return 2;
    }
    g_build = fs::canonical(argv[1]).string();
    g_program = fs::canonical(argv[2]).string();
    g_tools = POWER_LOSS_TOOLS;   // the source tree's tools: the Wine wrapper
    if (geteuid() != 0) Fail("mounting the test file system needs root");
    if (!fs::exists("/dev/fuse")) Fail("no /dev/fuse on this machine");
    const std::string fsProgram = g_build + "/tools/powercutfs";
    if (!fs::exists(fsProgram)) Fail("powercutfs is not built: " + fsProgram);

    g_work = fs::path(g_build) / "wine/roots" /
             ("power_loss." + fs::path(g_program).stem().string() + (bRoom ? ".room" : ""));
    g_root = g_work / "device";
    g_socket = g_work / "control.sock";
    StopDaemon();
    std::system(("umount -l '" + (g_root / "ResidentFlash").string() + "' 2>/dev/null").c_str());
    fs::remove_all(g_work);
    if (bRoom) MakeRoomTemplate(g_work / "template");
    else MakeTemplate(g_work / "template");
    fs::create_directories(g_root / "ResidentFlash");
    const Files card = Tree(g_work / "template/SDMMC/ResidentFlash"), oldFlash = Tree(g_work / "template/ResidentFlash");

    g_daemon = Spawn({fsProgram, (g_root / "ResidentFlash").string(), g_socket.string()}, {}, false);
    std::atexit(StopDaemon);
    // A loaded machine can take seconds to start it: up to a minute, while it lives.
    for (int i = 0; i < 1200 && !fs::exists(g_socket) && waitpid(g_daemon, nullptr, WNOHANG) == 0; ++i) usleep(50000);
    Control("load " + (g_work / "template/ResidentFlash").string());
    Control("capacity " + std::to_string(bRoom ? kRoomCapacity : 0));

    auto fresh = [&] {
        Control("reset");
        LayOutCard(g_work / "template/SDMMC");
    };
    fresh();
    if (RunProgramOnceMoreIfWineDied(0, "the uninterrupted run", fresh) != 0)
        Fail("an uninterrupted run did not end with exit code 0");
    const Files reference = Tree(g_root / "ResidentFlash");
    for (const auto &[path, content] : card)
        if (!IsMarker(path) && (!reference.count(path) || reference.at(path) != content))
            Fail("an uninterrupted run did not bring " + path + " into the flash store");
    for (const auto &[path, content] : oldFlash) {
        const std::string top = path.substr(0, path.find('/'));
        if (card.count("delete_" + top) && !card.count(path) && reference.count(path))
            Fail("an uninterrupted run did not delete " + path);
    }

    std::vector<std::string> caught;
    long k = 1;
    // POWER_LOSS_ALL=1: every catching cut of a broken build, not only the first three.
    const size_t nEnough = getenv("POWER_LOSS_ALL") ? size_t(-1) : 3;
    for (; caught.size() < nEnough; ++k) {
        fresh();
        const auto t0 = std::chrono::steady_clock::now();
        // A cut run that died in Wine did not reach its cut: the cut is made once more from the start.
        const int code = RunProgramOnceMoreIfWineDied(k, "cut " + std::to_string(k), fresh);
        if (getenv("POWER_LOSS_VERBOSE"))
            std::fprintf(stderr, "cut %ld: run %.2f s\n", k,
                         std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        if (code == 0) break;   // fewer operations than k: every cut point is done
        if (code != 99) Fail("cut " + std::to_string(k) + " ended with exit code " + std::to_string(code));
        fs::remove_all(g_work / "card-at-cut");
        fs::copy(g_root / "SDMMC", g_work / "card-at-cut", fs::copy_options::recursive | fs::copy_options::create_hard_links);
        for (const char *loss : {"flushed", "immediate"}) {
            Control(std::string(loss == std::string("flushed") ? "cut " : "recut ") + loss);
            LayOutCard(g_work / "card-at-cut");
            std::string problem = Unsound(card, oldFlash);
            if (problem.empty()) {
                // One that died in Wine runs once more on what it left, as a second power-on would.
                const std::string what = "cut " + std::to_string(k) + " (" + loss + "): the run after the cut";
                if (RunProgramOnceMoreIfWineDied(0, what, [] {}) != 0)
                    problem = "the run after the cut did not end with exit code 0";
                else if (Tree(g_root / "ResidentFlash") != reference) problem = "the run after the cut left another flash store";
            }
            if (problem.empty()) continue;
            caught.push_back("cut " + std::to_string(k) + " (" + loss + "): " + problem);
            std::printf("%s\n", caught.back().c_str());
            if (!bExpectCaught) break;
        }
        if (!bExpectCaught && !caught.empty()) break;
    }
    const long cutPoints = k - 1;
    std::printf("cut points tried: %ld, each under two losses; %s\n", cutPoints, Control("stats").c_str());
    if (bExpectCaught) {
        std::printf("%s\n", caught.empty() ? "NOT caught: the broken build passed every cut" : "caught, as it must be");
        return caught.empty() ? 1 : 0;
    }
    if (!caught.empty()) return 1;
    if (!bRoom && cutPoints < 200) Fail("only " + std::to_string(cutPoints) + " cut points: the update is too small to prove much");
    std::printf("nothing torn or lost at any cut\n");
    return 0;
}
