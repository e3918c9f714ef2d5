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
    if (timedOut) return "did not end within 120 s" + said;
    if (signal) return "died of signal " + std::to_string(signal) + said;
    return "ended with exit code " + std::to_string(code) + said;
}

namespace {

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

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // What the program and Wine print, kept for a run that ends otherwise than a run does.
    const std::string out = (g_places.work / "run.out").string();
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
        std::ifstream in(out);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (text.size() > 400) text = "..." + text.substr(text.size() - 400);
        for (char &c : text) if (c == '\n' || c == '\r') c = ' ';
        if (!text.empty()) end.said = "; it printed: " + text;
    }
    return end;
}

} // namespace

RunEnd RunProgram(long cutAfter, const std::function<void()> &again) {
    const RunEnd end = RunOnce(cutAfter);
    const bool bSilent = !end.timedOut && end.code != 0 && end.code != 99 && end.said.empty();
    if (!end.signal && !bSilent) return end;
    std::printf("a run (cut after %ld) %s: an end inside Wine, not one of the program; it runs once more%s\n",
                cutAfter, end.Describe().c_str(), again ? " from where the first one started" : " on what it left");
    std::fflush(stdout);
    if (again) again();
    return RunOnce(cutAfter);
}
