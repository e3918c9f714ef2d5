#include "update/run/update_job.h"

UPDATE_JOB MakeJob(BOOL bFolder, BOOL bDelete, LPCSTR pszSource, LPCSTR pszTarget) {
    UPDATE_JOB job;
    std::memset(&job, 0, sizeof job);
    job.bFolder = bFolder;
    job.bDelete = bDelete;
    if (pszSource) FormatInto(job.szSource, "%s", pszSource);
    FormatInto(job.szTarget, "%s", pszTarget);
    return job;
}
