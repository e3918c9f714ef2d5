#include "probe.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

std::string ctl_program, layout, mnt;
Mounted flash, card;
static std::atomic<int> checks = 0, failures = 0; // checked from several threads

void check(bool ok, const std::string& what)
{
    ++checks;
    if (!ok) {
        ++failures;
        printf("FAIL %s\n", what.c_str());
    }
}

int checks_made() { return checks; }
int checks_failed() { return failures; }

static int send(const Mounted& m, const std::string& command, std::string& reply)
{
    const std::string line = "'" + ctl_program + "' --ctl '" + m.socket + "' " + command;
    FILE* out = popen(line.c_str(), "r");
    char text[512] = "";
    if (!out || !fgets(text, sizeof text, out))
        text[0] = '\0';
    const int status = out ? pclose(out) : -1;
    text[strcspn(text, "\n")] = '\0';
    reply = text;
    return status;
}

bool ctl_at(const Mounted& m, const std::string& command, bool refusal_expected)
{
    std::string reply;
    const int status = send(m, command, reply);
    if (status != 0 && !refusal_expected)
        printf("  (%s: %s)\n", command.c_str(), reply.c_str());
    return status == 0;
}

bool ctl(const std::string& command, bool refusal_expected)
{
    return ctl_at(flash, command, refusal_expected);
}

long long reply_number(const Mounted& m, const std::string& command, const std::string& key)
{
    std::string reply;
    if (send(m, command, reply) != 0)
        return -1;
    const size_t at = reply.find(" " + key + "=");
    return at == reply.npos ? -1 : atoll(reply.c_str() + at + key.size() + 2);
}

void put_at(const std::string& path, const std::string& text, bool sync)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size()) &&
              (!sync || fsync(fd) == 0);
    if (fd >= 0)
        ok = close(fd) == 0 && ok;
    check(ok, "writing " + path);
}

void put(const std::string& name, const std::string& text, bool sync)
{
    put_at(mnt + "/" + name, text, sync);
}

Maybe get(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char buf[4096];
    for (ssize_t got; (got = read(fd, buf, sizeof buf)) > 0;)
        text.append(buf, size_t(got));
    close(fd);
    return text;
}

void expect(const std::string& name, const Maybe& want, const std::string& why)
{
    const Maybe got = get(mnt + "/" + name);
    check(got == want, why + ": " + name + " is " + (got ? "\"" + *got + "\"" : "absent") +
                           ", not " + (want ? "\"" + *want + "\"" : "absent"));
}

bool fsync_folder(const std::string& path)
{
    int dir = open(path.c_str(), O_RDONLY | O_DIRECTORY);
    const bool ok = dir >= 0 && fsync(dir) == 0;
    if (dir >= 0)
        close(dir);
    return ok;
}

std::string seed_cut(unsigned seed, bool first)
{
    return std::string(first ? "cut" : "recut") + " mixed " + std::to_string(seed);
}

// Names, kinds, permission bits, modification times and contents below a and b alike.
bool same_tree(const std::string& a, const std::string& b)
{
    auto names = [](const std::string& dir) {
        std::vector<std::string> list;
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d))
                list.push_back(e->d_name);
            closedir(d);
        }
        std::sort(list.begin(), list.end());
        return list;
    };
    const auto list = names(a);
    if (list != names(b))
        return false;
    for (const std::string& name : list) {
        if (name == "." || name == "..")
            continue;
        struct stat sa{}, sb{};
        const std::string pa = a + "/" + name, pb = b + "/" + name;
        if (lstat(pa.c_str(), &sa) || lstat(pb.c_str(), &sb) || sa.st_mode != sb.st_mode ||
            sa.st_mtim.tv_sec != sb.st_mtim.tv_sec || sa.st_mtim.tv_nsec != sb.st_mtim.tv_nsec)
            return false;
        if (S_ISDIR(sa.st_mode) ? !same_tree(pa, pb) : get(pa) != get(pb))
            return false;
    }
    return true;
}
