// Resource ids of Tessivard.exe.
#pragma once

#define IDI_UPDATER         128  // the program file's icon group
#define IDB_BACKGROUND      129  // the full-screen background, 800 x 480, 24 bits
#define IDD_UPDATER_DIALOG  102  // the only window
#define IDC_PROGRESS        1000 // the progress bar in IDD_UPDATER_DIALOG
#define IDR_CARD_KEY        130  // RCDATA: the modulus of the maker's key, in a keyed build only

// The program's version, as the version block gives it and the run's result record names it.
#define TESSIVARD_VERSION       1,0,0,1
#define TESSIVARD_VERSION_TEXT  "1, 0, 0, 1"
