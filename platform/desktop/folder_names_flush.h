// The PC's flush of one folder's names, for the card maker, which puts the card folder's
// names on the PC's medium before it reports a card made (card/card_writer.cpp). The desktop
// opens a folder as a file (FILE_FLAG_BACKUP_SEMANTICS) and flushes it; the device opens no
// folder, and puts names on its medium by flushing the whole volume (FsFlushVolume,
// update/seams/seams.h). No code of the program calls it.
#pragma once
#include <windows.h>

// Puts the names the folder holds on the medium. FALSE, GetLastError says why, when the
// folder cannot be opened or flushed.
BOOL FlushFolderNames(LPCWSTR pszFolder);
