// Where the update lives on the device: the card folder, the flash store, the markers.
#pragma once

#define CARD_ROOT         "/SDMMC"                         // the SD card's root
#define CARD_FOLDER       "/SDMMC/ResidentFlash"           // the update tree on the SD card
#define FLASH_FOLDER      "/ResidentFlash"                 // the built-in flash store
#define KEEP_SOURCE_FILE  "/SDMMC/ResidentFlash/undelete"  // keep-source marker
#define FLASH_UPDATE_COPY   "/ResidentFlash/update"        // marker copies the update leaves
#define FLASH_UNDELETE_COPY "/ResidentFlash/undelete"      //   in the flash store
#define FOLLOW_ON_PROGRAM "/ResidentFlash/qormane/Lindvaret.exe"
