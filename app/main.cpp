// The program's entry and its one application object.
#include "app/updater_app.h"

CUpdaterApp theApp;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return AfxWinMain(); }
