// A device whose dialog manager cannot make the update dialog: DoModal's -1, with the error a
// refused template gives. Linked in place of app/seam_show_dialog.cpp.
#include "app/updater_app.h"

INT_PTR ShowUpdaterDialog(CUpdaterDlg &) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return -1;
}
