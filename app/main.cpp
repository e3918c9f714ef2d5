// The program's entry and its one application object.
#include "app/updater_app.h"
#include "platform/thread_body.h"

CUpdaterApp theApp;

namespace {
DWORD WINAPI RunApplication(LPVOID) { return DWORD(AfxWinMain()); }
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return int(RunThreadBody(ProgramThread::kUi, RunApplication, nullptr)); }
