#include "program_run.h"
#include "harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

extern char **environ;

std::string RunEnd::Describe() const {
    const std::string end = timedOut ? "did not end within 120 s"
                            : signal ? "died of signal " + std::to_string(signal)
                                     : "ended with exit code " + std::to_string(code);
    return end + (said.empty() ? "; it printed nothing" : "; it printed: " + said) +
           (errors.empty() ? "; nothing on stderr" : "; on stderr: " + errors) +
           (server.empty() ? "; nothing new in the wineserver's log" : "; the wineserver's log: " + server);
}

namespace {

long g_reruns = 0;

std::streamoff SizeOf(const std::string &path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : std::streamoff(size);
}

// What the file holds from offset on, on one line, at most its last 400 characters.
std::string TextSince(const std::string &path, std::streamoff from) {
    std::ifstream in(path, std::ios::binary);
    if (!in.seekg(from)) return "";
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.size() > 400) text = "..." + text.substr(text.size() - 400);
    for (char &c : text) if (c == '\n' || c == '\r') c = ' ';
    return text;
}

RunEnd RunOnce(long cutAfter) {
    const std::vector<std::string> args = {g_places.tools + "/wine-run.sh", "--build", g_places.build, "--root",
                                           g_places.root.string(), g_places.program};
    std::vector<std::string> env = {"TESSIVARD_CUT_AFTER=" + std::to_string(cutAfter), "TESSIVARD_TIMEOUT=120"};
    for (char **e = environ; *e; ++e) env.push_back(*e);
    std::vector<char *> argv, envp;
    for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto &e : env) envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);

    // What the program and Wine print, and what the wrapper says on its stderr, kept for a
    // run that ends otherwise than a run does; so is what the wineserver logs meanwhile
    // (the log is the whole test run's: lines of a run beside this one may be among them).
    const std::string out = (g_places.work / "run.out").string(), err = (g_places.work / "run.err").string();
    const std::streamoff serverFrom = SizeOf(g_places.serverLog);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) Fail("cannot start " + args[0]);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);

    // The wrapper's status is the program's; timeout(1) gives 124 when the time ran out and
    // 128 + N when the process died of signal N.
    // 137 is timeout's kill after its grace.
    RunEnd end;
    end.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (end.code == 124 || end.code == 137) end.timedOut = true;
    else if (end.code > 128 && end.code < 128 + 32) end.signal = end.code - 128;
    if (end.code != 0 && end.code != 99) {
        end.said = TextSince(out, 0);
        end.errors = TextSince(err, 0);
        end.server = TextSince(g_places.serverLog, serverFrom);
    } else {
        // A run that ended as runs do: what the wrapper said still reaches the harness's stderr.
        std::ifstream in(err, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!text.empty()) std::fprintf(stderr, "%s", text.c_str());
    }
    return end;
}

} // namespace

RunEnd RunProgram(long cutAfter, const std::function<void()> &again) {
    const RunEnd end = RunOnce(cutAfter);
    const bool bSilent = !end.timedOut && end.code != 0 && end.code != 99 && end.said.empty();
    if (!end.signal && !bSilent) return end;
    ++g_reruns;
    std::printf("a run (cut after %ld) %s: an end inside Wine, not one of the program; it runs once more%s\n",
                cutAfter, end.Describe().c_str(), again ? " from where the first one started" : " on what it left");
    std::fflush(stdout);
    if (again) again();
    return RunOnce(cutAfter);
}

long RerunCount() { return g_reruns; }
