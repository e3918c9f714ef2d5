#include "platform/thread_body.h"

DWORD RunThreadBody(ProgramThread, LPTHREAD_START_ROUTINE pfnBody, LPVOID pParam) { return pfnBody(pParam); }
