#include "app/updater_dialog.h"

void CUpdaterDlg::SendPosition(int nPos) { m_progress.SetPos(nPos); }
