// What the steps of a run sent (tests/step_record.cpp).
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

class CUpdaterDlg;

struct StepRecord {
    std::vector<int> positions;        // every position a step sent, in order
    std::vector<std::wstring> worked;  // the walks' entries with file work, as stepped: the
                                       // copied file's source, the removed file
    std::vector<std::string> misplaced;   // steps that came before their entry was in place
    std::vector<std::wstring> verified;   // the card files read and checked before the markers went
    int removedBesideManifest = 0;        // card files removed while the card's manifest (or its signature) was still there
    COLORREF crEndOfBar = CLR_INVALID;   // the bar's last pixel once a step reached the plan's end
    bool readPictures = false;           // read the painted bar after every step (slow)
    std::vector<std::string> wrongPictures;   // steps after which the bar showed another position's picture
    void Clear() { *this = StepRecord(); }
};
extern StepRecord g_steps;

// The positions of a run in which nothing failed: exactly 1, 2, ..., m_nTotal, in order,
// and every walk's entry in place when its step came.
::testing::AssertionResult FillsTheBarOnce(const CUpdaterDlg &run);
