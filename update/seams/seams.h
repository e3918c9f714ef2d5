// The functions a test or bench build of the program may replace, and why; nothing else is
// replaced. One mechanism for all of them: each lives alone in a file named seam_*.cpp, and
// a build that replaces it links a file of its own in that file's place (CMakeLists.txt,
// tessivard_library). No switch in the shipped code tells the builds apart.
#pragma once
#include <windows.h>

class CRecoveryRecord;
class CUpdateRun;
struct CopyWorkspace;
struct NewVersion;
struct Digest;
struct EntrySlot;

// update/seams/seam_cut_point.cpp. Called right after each change the update makes on the card or
// the flash store (a name made, renamed or removed, a flush): where a power cut may fall, with
// the call and what it named (a file's flush names its handle only). The cut build ends the
// process at the k-th change, and lists the changes of a run for the power-loss tests to
// choose their cut points by kind.
enum class FileCall { kMakeFolder, kCreateFile, kMove, kRemoveFile, kRemoveFolder, kFlushFile, kFlushVolume };
struct FileChange {
    FileCall call;
    LPCWSTR pszPath;            // the name made, removed or flushed; a move's source
    LPCWSTR pszTo = nullptr;    // a move's new name
    HANDLE hFile = nullptr;     // the file flushed
};
void AfterFileOperation(const FileChange &change);

// update/seams/seam_file_flush.cpp. Puts the file's content on the medium. A broken build leaves
// it out, for the power-loss tests to catch.
BOOL FsFlush(HANDLE hFile);

// update/seams/seam_commit.cpp. Puts the written temporary in the target's place: its content on
// the medium, then the steps by which the target takes it (TakeNewVersion,
// update/storage/replacement.h). Closes hTemp in every case. A broken build takes the steps first,
// for the power-loss tests to catch.
BOOL CommitTemporary(HANDLE hTemp, const NewVersion &version);

// update/seams/seam_announce.cpp. The first step of TakeNewVersion (update/storage/replacement.h)
// for a target with an old version: what the writer changed in the target's folder so far on
// the medium, then the target and its new version on the record. A broken build writes the
// record first, for the power-loss tests to catch.
BOOL AnnounceReplacement(const NewVersion &version);

// update/seams/seam_volume_flush.cpp. Puts everything changed so far on the file system that
// holds pszPath on the medium: every name made, renamed or removed in any of its folders,
// and every file's content. The device's FSCTL_FLUSH_BUFFERS; where the volume's driver
// lacks that control code, FlushFileBuffers on a file of the volume opened for the purpose,
// which commits the names on a transaction-safe FAT and not on a plain one (README). A
// broken build skips it, for the power-loss tests to catch.
BOOL FsFlushVolume(LPCWSTR pszPath);

// update/seams/seam_step_on_medium.cpp. Called between two steps of a replacement in the flash
// store, and of its recovery: on plain FAT the volume is flushed, so that the step is on the
// medium before the next one starts (a rename that a cut catches half written comes back
// under its old name, its new one or neither); a transaction-safe volume commits it with the
// next flush of any file, and nothing is done here. A broken build never flushes here.
BOOL StepOnMedium(LPCWSTR pszFlash, bool bTransactionSafe);

// update/seams/seam_recover.cpp. The recovery at every start, before anything else
// (CRecoveryRecord::Recover, update/storage/recovery_record.h). A broken build skips it.
void RecoverReplacements(CRecoveryRecord &record);

// update/seams/seam_io_threads.cpp. The number of I/O threads a run starts, at most kMaxIoThreads
// (update/walks/entry_queue.h). The build without I/O threads (0) has the worker do each entry's
// file work itself: the tests run both builds, and only that one repeats a run exactly.
int IoThreadCount();

// update/seams/seam_replace.cpp. Puts a copy of pszSource in pszTarget's place
// (ReplaceNewVersion, update/storage/replacement.h); with pExpected, only a copy of exactly those
// bytes. The bench's plain-copy build copies straight over the target instead, to measure
// what the replacement's steps cost; a broken test build removes the old version before the
// copy, for the power-loss tests to catch.
BOOL ReplaceWithCopy(LPCWSTR pszSource, LPCWSTR pszTarget, const CopyWorkspace &space, const Digest *pExpected);

// update/seams/seam_file_read.cpp. Reads the next bytes of a card file for a copy or a hash. A test
// build's reads return a flipped byte, as a bad card or reader does, to show that such a
// copy never takes the target's name.
BOOL FsRead(HANDLE hFile, void *pBuffer, DWORD cbBuffer, DWORD *pcbRead);

// update/seams/seam_step_hook.cpp. Called after every progress step with the position the step
// showed and, for a walk's entry, the entry (its work done). The tests watch every step of a
// run through it; the shipped program does nothing here.
void AfterStep(const CUpdateRun &run, int nPos, const EntrySlot *pEntry);

// update/seams/seam_walk_bound.cpp holds WalkEntryBound (update/walks/walk_space.h), the most
// entries one walk lists: a test build (tests/variants/few_walk_entries.cpp) bounds its walks
// to a few thousand, so that a card whose folders lead back into themselves meets the bound
// within seconds; the shipped bound takes the time the largest card's count takes.

// app/seam_send_position.cpp holds CUpdaterDlg::SendPosition (app/updater_dialog.h), the one
// synchronous send of a position to the bar: the bench's floor builds send nothing, to
// measure what the run's file work alone costs.

// platform/seam_find_next.cpp holds FindNextEntry (declared in platform/folder_listing.h):
// a test build's listing breaks off with an error after k entries, as a card pulled or read
// wrong mid-run does, to show that the copy then keeps the card.

// platform/seam_code_page.cpp holds WideToCodePage (platform/ansi_text.h), the device's
// WideCharToMultiByte on the system's code page: a test build (tests/variants/ce_code_page.cpp)
// refuses every flag CE's page does not list, as the device's coredll may, to show that the
// marker scan still reads every name.

// platform/seam_thread_body.cpp holds RunThreadBody (platform/thread_body.h), through which
// every thread of the program runs its body: the UI thread, the worker and the I/O threads.
// The stack build (tests/variants/stack_guard.cpp) gives each the device's 64 KiB of stack,
// so that a thread that takes more ends in a stack overflow, and tells how deep each went.

// app/seam_run_update.cpp holds CUpdaterDlg::RunUpdate (declared with its class): the
// lifecycle tests put a stand-in run in its place, to drive the dialog's start and end.

// app/seam_show_dialog.cpp holds ShowUpdaterDialog (app/updater_app.h), the update dialog's
// DoModal: a test build (tests/variants/dialog_refused.cpp) answers -1, as a device whose dialog
// manager refuses the template does, to show that the follow-on program starts all the same
// and nothing on the card or in the flash store changes.

// app/seam_start_worker.cpp holds CUpdaterDlg::StartWorker (declared with its class), the
// start of the worker thread: a test build fails it as often as the test asks, as a device
// short of memory or of threads does, to show that the dialog tries once more and then ends
// the run without one.

// platform/desktop/seam_volume_info.cpp holds the desktop's CeGetVolumeInfoW, and
// platform/desktop/seam_load_dibitmap.cpp its SHLoadDIBitmap (platform/device_calls.h): a
// test build fails every call of each, to show that the room is then not read (a
// replacement's temporary goes beside its target) and that the skinned dialog is left
// without a bitmap. A device build has neither file: the device's coredll gives both calls.

// platform/desktop/seam_fs_io_control.cpp holds the desktop's CeFsIoControlW
// (platform/device_calls.h), whose FSCTL_FLUSH_BUFFERS flushes a whole volume: a test build
// (tests/variants/no_volume_flush.cpp) answers ERROR_NOT_SUPPORTED to every call, as a
// device whose file system driver lacks the control. A device build has no such file.

// update/seams/seam_card_key.cpp holds FindCardKey (update/manifest/card_signature.h), the
// lookup of a keyed program's key resource: a test build (tests/variants/card_key_missing.cpp)
// finds none while the test asks, as a program built with a key whose resource went missing,
// to show that such a program takes no card at all.
