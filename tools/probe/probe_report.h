// The probe's report, tessivard-probe.txt: one line a question, in ASCII (a character past it
// written as \uXXXX), each "key | call | what the device answered | what the answer decides".
#pragma once
#include <windows.h>

constexpr size_t kProbeText = 512;   // one field of a line, characters

class CProbeReport {
public:
    // Opens the report in the folder of the running program, replacing an earlier one.
    bool Open();
    ~CProbeReport();
    CProbeReport() = default;
    CProbeReport(const CProbeReport &) = delete;
    CProbeReport &operator=(const CProbeReport &) = delete;

    // Writes one line; each field is cut to kProbeText characters.
    void Line(LPCWSTR pszKey, LPCWSTR pszCall, LPCWSTR pszAnswer, LPCWSTR pszDecides);

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;   // the report, written line by line; the one owner
};

// "TRUE" or "FALSE, error N" for a call's result, with the thread's last error when it failed.
void ShowResult(WCHAR (&szAnswer)[kProbeText], BOOL bResult, DWORD dwError);

// The probe's scratch folder, made by it and removed with all it holds at its end:
// "\ResidentFlash\~tessivard-probe-<tick>".
struct ProbeFolders {
    WCHAR szFlash[MAX_PATH];   // in the flash store; empty when it could not be made
};

// The questions, each writing its lines (questions_files.cpp, questions_volumes.cpp,
// questions_system.cpp).
void AskFileQuestions(CProbeReport &report, const ProbeFolders &folders);
void AskVolumeQuestions(CProbeReport &report, const ProbeFolders &folders);
void AskSystemQuestions(CProbeReport &report, const ProbeFolders &folders);

// Makes an empty file, TRUE when it is there; and removes a scratch folder's tree.
BOOL MakeProbeFile(LPCWSTR pszPath, DWORD cbContent);
void RemoveProbeTree(LPCWSTR pszFolder);
