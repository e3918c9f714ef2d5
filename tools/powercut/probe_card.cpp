// The card's mount (--uncached): fail mode pulls the card at the k-th request, and the card's
// own unflushed changes go at a cut as the flash store's do.
#include "probe.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

using Step = std::function<bool()>;

// What an update does to the card, step by step; each step true if it worked.
static std::vector<Step> card_steps()
{
    const std::string& c = card.dir;
    auto exists = [c](const std::string& name) {
        struct stat st{};
        return stat((c + "/" + name).c_str(), &st) == 0;
    };
    auto written = [c](const std::string& name) {
        int fd = open((c + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool ok = fd >= 0 && write(fd, "card", 4) == 4 && fsync(fd) == 0;
        return (fd < 0 || close(fd) == 0) && ok;
    };
    auto listed = [c] {
        DIR* d = opendir(c.c_str());
        int n = 0;
        errno = 0;
        while (d && readdir(d))
            ++n;
        const bool ok = d && errno == 0 && n >= 4;
        if (d)
            closedir(d);
        return ok;
    };
    return {
        [=] { return exists("keep.txt"); },
        [=] { return get(c + "/keep.txt") == Maybe("kept"); },
        [=] { return written("n"); },
        [=] { return mkdir((c + "/d").c_str(), 0755) == 0; },
        [=] { return rename((c + "/n").c_str(), (c + "/d/n").c_str()) == 0; },
        listed,
        [=] { return unlink((c + "/d/n").c_str()) == 0; },
        [=] { return rmdir((c + "/d").c_str()) == 0; },
    };
}

// The first step that failed, or the number of steps; -1 if a step worked after one failed.
static int first_failure()
{
    int first = -1, n = 0;
    for (const Step& step : card_steps()) {
        const bool ok = step();
        if (!ok && first < 0)
            first = n;
        if (ok && first >= 0)
            return -1;
        ++n;
    }
    return first < 0 ? n : first;
}

void a_pulled_card_fails_from_the_kth_request()
{
    const int steps = int(card_steps().size());
    ctl_at(card, "reset");
    check(first_failure() == steps, "every step works on a card left in");
    const long long requests = reply_number(card, "stats", "requests");
    check(requests >= steps, "stats counts the requests: " + std::to_string(requests));

    ctl_at(card, "reset");
    struct stat st{};
    check(stat((card.dir + "/keep.txt").c_str(), &st) == 0 && ctl_at(card, "fail 1"),
          "a stat before the card is pulled");
    errno = 0;
    check(stat((card.dir + "/keep.txt").c_str(), &st) != 0 && errno == EIO,
          "no name or attribute is cached: the next stat reaches the pulled card, EIO");

    int last = 0;
    for (long long k = 1; k <= requests + 1; ++k) {
        ctl_at(card, "reset");
        check(ctl_at(card, "fail " + std::to_string(k)), "fail " + std::to_string(k));
        const int first = first_failure();
        const std::string at = "card pulled at request " + std::to_string(k) + ": ";
        check(first >= 0, at + "no step works after one failed");
        check(first >= last, at + "a later pull fails no earlier step");
        check(k != 1 || first == 0, at + "the first step fails");
        check((k <= requests) == (first < steps),
              at + (k <= requests ? "some step fails" : "one beyond the count: nothing fails"));
        last = first;
    }
    check(last == steps, "the pull moves through every step");
    ctl_at(card, "reset");
    check(ctl_at(card, "fail 2") && ctl_at(card, "fail 0") && first_failure() == steps,
          "fail 0 puts the card back");
}

void the_card_loses_what_it_did_not_flush()
{
    ctl_at(card, "reset");
    put_at(card.dir + "/synced", "synced", true);
    put_at(card.dir + "/closed", "closed", false);
    check(ctl_at(card, "fail 1"), "fail 1");
    check(ctl_at(card, "cut flushed"), "the card mount's cut");
    check(get(card.dir + "/synced") == Maybe("synced") && !get(card.dir + "/closed"),
          "the card comes back with what it flushed, and the power brings the card back in");
    check(ctl_at(card, "recut mixed 1"), "the card mount's recut under mixed");
    const Maybe synced = get(card.dir + "/synced");
    check(!synced || *synced == "synced", "mixed: a file fsynced on the card, under its name "
                                          "only if the card's root came back as at the cut");
}
