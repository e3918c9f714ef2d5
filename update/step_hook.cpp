#include "update/step_hook.h"

void AfterStep(CUpdaterDlg &, int, const EntrySlot *) {}
