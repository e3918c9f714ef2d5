// The entry queue on its own, over a stand-in for the run: thousands of random listings of
// entries with and without file work, worked by one or two I/O threads (or none), with the
// timings that line up its races (long runs of entries with no work, a large file at the
// front, a woken thread that is slow to take the lock, drains and waits for a target).
// Every entry with work is worked exactly once, by one thread, on its own slot, which no
// one refills under it; no two copies onto one target at once; every entry is stepped once,
// in listing order, after its work.
#include <gtest/gtest.h>
#include <windows.h>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include "update/walks/entry_queue.h"
#include "update/storage/room_budget.h"

namespace {

// What went wrong, counted over every listing of a test.
struct Faults {
    std::atomic<long> workedTwice{0};      // an entry's work ran more than once
    std::atomic<long> wrongSlot{0};        // a thread worked an entry on a slot not its own
    std::atomic<long> slotChanged{0};      // the slot was refilled while a thread worked it
    std::atomic<long> workedNoWork{0};     // an entry without work was handed to a thread
    std::atomic<long> workAfterStep{0};    // an entry's work ran after its step
    std::atomic<long> targetTwice{0};      // two copies onto one target at once
    long stepWithoutWork = 0;              // an entry stepped before its work had run
    long stepOutOfOrder = 0;               // a step out of listing order, or twice
    long neverStepped = 0;                 // an entry listed and never stepped

    long Total() const {
        return workedTwice + wrongSlot + slotChanged + workedNoWork + workAfterStep + targetTwice + stepWithoutWork +
               stepOutOfOrder + neverStepped;
    }
    std::string Text() const {
        return "worked twice " + std::to_string(workedTwice) + ", on a wrong slot " + std::to_string(wrongSlot) +
               ", slot refilled under its thread " + std::to_string(slotChanged) + ", no-work entry worked " +
               std::to_string(workedNoWork) + ", worked after its step " + std::to_string(workAfterStep) +
               ", one target twice at once " + std::to_string(targetTwice) + ", stepped without its work " +
               std::to_string(stepWithoutWork) + ", stepped out of order " + std::to_string(stepOutOfOrder) +
               ", never stepped " + std::to_string(neverStepped);
    }
};

// One listed entry as the model plans it.
struct Planned {
    EntryWork work;
    int nTarget;       // kCopy, kRemove: which of a few targets (the same target may come back)
    int nSpin;         // the work's length: a busy loop of this many rounds
    int msSleep;       // ... or a sleep (a large file)
    bool bDrainAfter;  // the walk drains the queue once it is listed
};

// Busy for about n rounds, without a system call.
void Spin(int n) {
    volatile unsigned x = 0;
    for (int i = 0; i < n; ++i) x = x + unsigned(i);
}

long EntryNumber(const EntrySlot &entry) { return std::wcstol(entry.szSource, nullptr, 10); }

// The run's stand-in: records who worked what, and checks each step.
class CModelRun : public IEntryHandler {
public:
    CModelRun(const std::vector<Planned> &plan, Faults &faults, unsigned seed)
        : m_plan(plan), m_faults(faults), m_worked(plan.size()), m_finished(plan.size()), m_stepped(plan.size()),
          m_slots(plan.size()), m_targets(64), m_seed(seed) {}

    void Listed(long n, const EntrySlot &slot) { m_slots[size_t(n)] = &slot; }
    long Steps() const { return m_nSteps; }

    void Work(EntrySlot &entry, const CopyWorkspace &) override {
        const long n = EntryNumber(entry);
        if (n < 0 || size_t(n) >= m_plan.size()) {
            ++m_faults.slotChanged;
            return;
        }
        const Planned &planned = m_plan[size_t(n)];
        if (m_worked[size_t(n)].fetch_add(1) != 0) ++m_faults.workedTwice;
        if (m_slots[size_t(n)] != &entry) ++m_faults.wrongSlot;
        if (planned.work == EntryWork::kNone) ++m_faults.workedNoWork;
        if (m_stepped[size_t(n)].load()) ++m_faults.workAfterStep;
        std::atomic<int> &target = m_targets[size_t(planned.nTarget)];
        const bool bCopy = planned.work == EntryWork::kCopy;
        if (bCopy && target.fetch_add(1) != 0) ++m_faults.targetTwice;
        if (planned.msSleep) Sleep(DWORD(planned.msSleep));
        else Spin(planned.nSpin);
        if (bCopy) target.fetch_sub(1);
        if (EntryNumber(entry) != n) ++m_faults.slotChanged;
        m_finished[size_t(n)].store(true);
    }

    void Step(EntrySlot &entry) override {
        const long n = EntryNumber(entry);
        if (n != m_nSteps || size_t(n) >= m_plan.size()) {
            ++m_faults.stepOutOfOrder;
            return;
        }
        ++m_nSteps;
        m_stepped[size_t(n)].store(true);
        if (m_plan[size_t(n)].work != EntryWork::kNone && (!m_finished[size_t(n)].load() || m_worked[size_t(n)] != 1))
            ++m_faults.stepWithoutWork;
    }

    // A woken thread that is slow to take the lock, now and then.
    void Woken() override {
        thread_local std::minstd_rand random;
        thread_local bool bSeeded = false;
        if (!bSeeded) {
            random.seed(m_seed ^ GetCurrentThreadId());
            bSeeded = true;
        }
        switch (random() % 16) {
        case 0: case 1: Sleep(0); break;
        case 2: case 3: Spin(20000); break;
        case 4: Sleep(1); break;
        default: break;
        }
    }

private:
    const std::vector<Planned> &m_plan;
    Faults &m_faults;
    std::vector<std::atomic<int>> m_worked;      // how often each entry's work ran
    std::vector<std::atomic<bool>> m_finished;   // its work has finished
    std::vector<std::atomic<bool>> m_stepped;    // its step came
    std::vector<const EntrySlot *> m_slots;      // the slot it was listed in
    std::vector<std::atomic<int>> m_targets;     // copies at work onto each target
    long m_nSteps = 0;                           // steps so far, all in order
    unsigned m_seed;
};

// A listing drawn from the seed: groups of entries with work, each after a run of 0 to 100
// entries with none; now and then a large file at a group's front, a target that comes back
// in another letter case, a drain or a wait for a target between two entries.
std::vector<Planned> DrawPlan(std::mt19937 &random, int nGroups) {
    std::vector<Planned> plan;
    for (int g = 0; g < nGroups; ++g) {
        const int nEmpty = random() % 3 == 0 ? int(random() % 101) : int(random() % 40);
        for (int i = 0; i < nEmpty; ++i) plan.push_back({EntryWork::kNone, 0, 0, 0, false});
        const int nWork = 1 + int(random() % 40);
        for (int i = 0; i < nWork; ++i) {
            Planned p = {random() % 4 == 0 ? EntryWork::kRemove : EntryWork::kCopy, int(random() % 64),
                         int(random() % 3000), 0, random() % 16 == 0};
            if (i == 0 && random() % 4 == 0) p.msSleep = 1 + int(random() % 2);
            plan.push_back(p);
            if (random() % 8 == 0) plan.push_back({EntryWork::kNone, 0, 0, 0, false});
        }
    }
    return plan;
}

// Lists the plan through the queue as a walk does, with nThreads I/O threads (0: a queue
// that is not open), and counts the faults.
void RunPlan(const std::vector<Planned> &plan, int nThreads, unsigned seed, Faults &faults) {
    CModelRun run(plan, faults, seed);
    CRoomBudget room;
    auto queue = std::make_unique<CEntryQueue>(run, room);
    ASSERT_EQ(queue->Open(nThreads) != FALSE, nThreads > 0) << "a queue opens with threads only";
    ASSERT_TRUE(queue->IsReady());
    std::mt19937 random(seed);
    for (size_t n = 0; n < plan.size(); ++n) {
        EntrySlot &slot = queue->Back();
        run.Listed(long(n), slot);
        swprintf(slot.szSource, kWidePath, L"%ld", long(n));
        slot.work = plan[n].work;
        if (slot.work != EntryWork::kNone)
            swprintf(slot.szTarget, kWidePath, random() % 2 ? L"\\flash\\T%d" : L"\\FLASH\\t%d", plan[n].nTarget);
        queue->Push();
        if (plan[n].bDrainAfter) queue->Drain();
        switch (random() % 64) {
        case 0: queue->Drain(); break;
        case 1: {
            WCHAR szTarget[64];
            swprintf(szTarget, 64, L"\\Flash\\t%d", int(random() % 64));
            queue->WaitForTarget(szTarget);
            break;
        }
        default: break;
        }
    }
    queue->Drain();
    const long nSteps = run.Steps();
    queue->Close();
    faults.neverStepped += long(plan.size()) - nSteps;
}

void RunModel(int nThreads, int nListings, unsigned firstSeed) {
    Faults faults;
    size_t nEntries = 0;
    for (int i = 0; i < nListings; ++i) {
        const unsigned seed = firstSeed + unsigned(i);
        std::mt19937 random(seed);
        const std::vector<Planned> plan = DrawPlan(random, 1 + int(random() % 6));
        nEntries += plan.size();
        RunPlan(plan, nThreads, seed, faults);
        if (::testing::Test::HasFatalFailure()) return;
    }
    std::printf("%d listings, %zu entries, %d I/O thread(s): %s\n", nListings, nEntries, nThreads,
                faults.Text().c_str());
    EXPECT_EQ(faults.Total(), 0) << faults.Text();
}

TEST(EntryQueue, TwoThreadsWorkEveryEntryOnceOnItsOwnSlotAndStepItInOrder) { RunModel(2, 500, 1); }

TEST(EntryQueue, OneThreadWorksEveryEntryOnceAndStepsItInOrder) { RunModel(1, 200, 50000); }

TEST(EntryQueue, AQueueThatIsNotOpenWorksEachEntryAsItIsListed) { RunModel(0, 100, 90000); }

// The listing seen to lose work on a card: a few files, a drain (the threads asleep), then
// exactly N entries with no work and a group of files behind a large one, for every N that
// reaches the slots' count and beyond.
TEST(EntryQueue, ARunOfEntriesWithNoWorkOfEveryLengthLosesNothing) {
    Faults faults;
    for (int nEmpty = 0; nEmpty <= 100; ++nEmpty) {
        for (int nThreads = 1; nThreads <= 2; ++nThreads) {
            std::vector<Planned> plan;
            for (int i = 0; i < 5; ++i) plan.push_back({EntryWork::kCopy, i, 100, 0, i == 4});
            for (int i = 0; i < nEmpty; ++i) plan.push_back({EntryWork::kNone, 0, 0, 0, false});
            plan.push_back({EntryWork::kCopy, 10, 0, 2, false});
            for (int i = 0; i < 40; ++i) plan.push_back({EntryWork::kCopy, 11 + i, 500, 0, false});
            RunPlan(plan, nThreads, unsigned(nEmpty * 2 + nThreads), faults);
            ASSERT_FALSE(::testing::Test::HasFatalFailure());
        }
    }
    EXPECT_EQ(faults.Total(), 0) << faults.Text();
}

// Both threads asleep with nothing to take: the stop wakes both (one event for both, never
// one that wakes only one of them), and the queue closes. A close that hangs fails here,
// after a wait no close comes near, instead of stopping the whole test program.
TEST(EntryQueue, TheStopWakesEveryThreadAsleep) {
    for (int i = 0; i < 20; ++i) {
        const std::vector<Planned> plan = {{EntryWork::kCopy, 1, 10, 0, true}};
        Faults faults;
        struct Closing {
            CModelRun run;
            CRoomBudget room;
            CEntryQueue queue;
            Closing(const std::vector<Planned> &plan, Faults &faults) : run(plan, faults, 7), queue(run, room) {}
        };
        auto *pClosing = new Closing(plan, faults);
        ASSERT_TRUE(pClosing->queue.Open(2));
        EntrySlot &slot = pClosing->queue.Back();
        pClosing->run.Listed(0, slot);
        swprintf(slot.szSource, kWidePath, L"0");
        swprintf(slot.szTarget, kWidePath, L"\\flash\\T1");
        slot.work = EntryWork::kCopy;
        pClosing->queue.Push();
        pClosing->queue.Drain();
        Sleep(20);   // both threads back asleep
        HANDLE hCloser = CreateThread(
            nullptr, 0,
            [](LPVOID p) -> DWORD {
                delete static_cast<Closing *>(p);   // closes the queue: stop, then every thread's end
                return 0;
            },
            pClosing, 0, nullptr);
        ASSERT_NE(hCloser, nullptr);
        ASSERT_EQ(WaitForSingleObject(hCloser, 30000), WAIT_OBJECT_0) << "the queue did not close: a thread slept on";
        CloseHandle(hCloser);
        EXPECT_EQ(faults.Total(), 0) << faults.Text();
    }
}

} // namespace
