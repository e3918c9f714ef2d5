// What the steps of a run sent (tests/step_record.cpp).
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <vector>

class CUpdaterDlg;

struct StepRecord {
    std::vector<int> positions;      // every position a step sent, in order
    COLORREF crEndOfBar = CLR_INVALID;   // the bar's last pixel once a step reached the plan's end
    void Clear() { *this = StepRecord(); }
};
extern StepRecord g_steps;

// The positions of a run in which nothing failed: exactly 1, 2, ..., m_nTotal, in order.
::testing::AssertionResult FillsTheBarOnce(const CUpdaterDlg &run);
