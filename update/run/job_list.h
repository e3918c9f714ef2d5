// The update plan's job list: UPDATE_JOB records held by value, in the order they were
// appended, which is the order they run in. Its storage grows from the heap without
// throwing, up to kMaxJobs records: an append the device has no memory for, or one past
// that bound, is refused, and the plan that needed it is not run (update/run/update_run.h).
#pragma once
#include <cstddef>
#include "platform/heap_array.h"
#include "update/run/update_job.h"

// The folder deletions of one card's delete markers, and the fixed jobs after them: about
// 1 MiB of records, so that the plan and a manifest at its bounds fit the device's memory
// together. A card of more delete markers is not applied; the card maker refuses to make one.
constexpr size_t kMaxMarkerDeletions = 1024;
constexpr size_t kFixedJobs = 5;   // the card folder's copy and deletion, the three image files
constexpr size_t kMaxJobs = kMaxMarkerDeletions + kFixedJobs;

class CJobList {
public:
    CJobList() = default;
    CJobList(const CJobList &) = delete;
    CJobList &operator=(const CJobList &) = delete;

    // False, with the list as it was, when the job does not fit.
    [[nodiscard]] bool push_back(const UPDATE_JOB &job);
    size_t size() const { return m_nJobs; }
    bool empty() const { return m_nJobs == 0; }
    const UPDATE_JOB &operator[](size_t i) const { return m_pJobs[i]; }
    const UPDATE_JOB *begin() const { return m_pJobs.get(); }
    const UPDATE_JOB *end() const { return m_pJobs.get() + m_nJobs; }
    // Empties the list and gives its storage back.
    void clear();

private:
    HeapArray<UPDATE_JOB> m_pJobs;
    size_t m_nJobs = 0;
    size_t m_nRoom = 0;
};
