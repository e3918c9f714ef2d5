// Called after every progress step with the position the step sent and, for a walk's
// entry, the entry (its work done). The shipped program does nothing here; a test links
// its own definition in place of step_hook.cpp to watch the steps of a run.
#pragma once

class CUpdaterDlg;
struct EntrySlot;

void AfterStep(CUpdaterDlg &dlg, int nPos, const EntrySlot *pEntry);
