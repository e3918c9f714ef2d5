#include "update/run/job_list.h"
#include <cstring>

bool CJobList::push_back(const UPDATE_JOB &job) {
    if (m_nJobs == m_nRoom) {
        if (m_nRoom == kMaxJobs) return false;
        const size_t nRoom = m_nRoom ? (2 * m_nRoom < kMaxJobs ? 2 * m_nRoom : kMaxJobs) : 8;
        HeapArray<UPDATE_JOB> pJobs = NewHeapArray<UPDATE_JOB>(nRoom);
        if (!pJobs) return false;
        if (m_nJobs) std::memcpy(pJobs.get(), m_pJobs.get(), m_nJobs * sizeof(UPDATE_JOB));
        m_pJobs = std::move(pJobs);
        m_nRoom = nRoom;
    }
    m_pJobs[m_nJobs++] = job;
    return true;
}

void CJobList::clear() {
    m_pJobs.reset();
    m_nJobs = m_nRoom = 0;
}
