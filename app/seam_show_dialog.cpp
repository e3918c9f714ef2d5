// ShowUpdaterDialog (app/updater_app.h): the update dialog, shown modally. A seam
// (update/seams/seams.h): a test build's dialog cannot be made, as when the device's dialog
// manager refuses its template.
#include "app/updater_app.h"
#include "app/updater_dialog.h"

INT_PTR ShowUpdaterDialog(CUpdaterDlg &dlg) { return dlg.DoModal(); }
