// Called after every progress step with the position the step sent. The shipped program
// does nothing here; a test links its own definition in place of step_hook.cpp to watch
// the steps of a run.
#pragma once

class CUpdaterDlg;

void AfterStep(CUpdaterDlg &dlg, int nPos);
