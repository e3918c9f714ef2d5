// The result record's lines (update/run/result_record.h): the text a run writes, and what a
// reader takes of a record: only a record of this very format, every line one it knows.
#include <cstring>
#include "platform/bounded_text.h"
#include "res/resource.h"
#include "update/run/result_record.h"

namespace {

const char *const kOutcomeWords[] = {"nothing", "applied", "refused", "incomplete"};
// Every line a record of format 1 may hold after its first, by its word.
const char *const kLineWords[] = {"outcome", "reason", "recovered", "sequence", "identity", "files-written",
                                  "files-unchanged", "files-deleted", "folders-removed", "clock-start", "clock-end", "version"};

// Appends the formatted line to the text of cb bytes; false when it does not fit.
template <typename... Args>
bool AppendLine(char *pText, size_t &cb, const char *pszFormat, Args... args) {
    const int n = FormatBounded(pText + cb, kResultBytes - cb, pszFormat, args...);
    if (n < 0) return false;
    cb += size_t(n);
    return true;
}

bool AppendClock(char *pText, size_t &cb, const char *pszWord, const SYSTEMTIME &t) {
    return AppendLine(pText, cb, "%s %04u-%02u-%02uT%02u:%02u:%02uZ\n", pszWord, unsigned(t.wYear), unsigned(t.wMonth),
                      unsigned(t.wDay), unsigned(t.wHour), unsigned(t.wMinute), unsigned(t.wSecond));
}

bool IsClockLine(const char *pLine, size_t cb) {
    return (cb >= 12 && std::memcmp(pLine, "clock-start ", 12) == 0) || (cb >= 10 && std::memcmp(pLine, "clock-end ", 10) == 0);
}

// The next line of the text from ich, its newline aside; false at the end.
bool NextLine(const char *pText, size_t cbText, size_t &ich, const char *&pLine, size_t &cbLine) {
    if (ich >= cbText) return false;
    pLine = pText + ich;
    const char *pEnd = static_cast<const char *>(std::memchr(pLine, '\n', cbText - ich));
    cbLine = pEnd ? size_t(pEnd - pLine) : cbText - ich;
    ich += cbLine + 1;
    return true;
}

// The next line that is no clock's.
bool NextFact(const char *pText, size_t cbText, size_t &ich, const char *&pLine, size_t &cbLine) {
    while (NextLine(pText, cbText, ich, pLine, cbLine))
        if (!IsClockLine(pLine, cbLine)) return true;
    return false;
}

bool LineIs(const char *pLine, size_t cbLine, const char *pszText) {
    return cbLine == std::strlen(pszText) && std::memcmp(pLine, pszText, cbLine) == 0;
}

} // namespace

size_t CRunFacts::Text(char *pText) const {
    std::memset(pText, 0, kResultBytes);
    size_t cb = 0;
    const RunOutcome outcome = Outcome();
    const bool bWent = outcome == RunOutcome::kApplied || outcome == RunOutcome::kIncomplete;
    // Without a card nothing was checked: what the run found of one is no reason. A card that
    // went in before says so.
    const int nReasons = outcome == RunOutcome::kNothing && !m_bWentInBefore ? 0 : m_nReasons;
    bool ok = AppendLine(pText, cb, "%s\noutcome %s\n", kResultFirstLine, kOutcomeWords[int(outcome)]);
    for (int i = 0; i < nReasons && ok; ++i) ok = AppendLine(pText, cb, "reason %s\n", &m_reasons[i * kReasonBytes]);
    if (ok && nReasons && m_nMoreReasons) ok = AppendLine(pText, cb, "reason and %d more of the same kind\n", m_nMoreReasons);
    if (ok && m_bRecovering) ok = AppendLine(pText, cb, "recovered yes\n");
    char szNumber[24];
    if (ok && m_bSequence) ok = DecimalText(szNumber, sizeof szNumber, m_sequence) && AppendLine(pText, cb, "sequence %s\n", szNumber);
    if (ok && m_bIdentity) {
        ok = AppendLine(pText, cb, "identity ");
        for (size_t i = 0; i < sizeof m_identity.b && ok; ++i) ok = AppendLine(pText, cb, "%02x", unsigned(m_identity.b[i]));
        ok = ok && AppendLine(pText, cb, "\n");
    }
    if (ok && bWent)
        ok = AppendLine(pText, cb, "files-written %d\nfiles-unchanged %d\nfiles-deleted %d\nfolders-removed %d\n", m_nWritten,
                        m_nUnchanged, m_nDeleted, m_nFoldersRemoved);
    ok = ok && AppendClock(pText, cb, "clock-start", m_start) && AppendClock(pText, cb, "clock-end", m_end) &&
         AppendLine(pText, cb, "version %s\n", TESSIVARD_VERSION_TEXT);
    if (ok) return cb;
    std::memset(pText, 0, kResultBytes);
    return 0;
}

bool ParseResultRecord(const char *pText, size_t cbText, RunOutcome &outcome) {
    if (cbText == 0 || cbText > kResultBytes || pText[cbText - 1] != '\n') return false;
    for (size_t i = 0; i < cbText; ++i)
        if ((unsigned char)pText[i] < 0x20 && pText[i] != '\n') return false;
    size_t ich = 0, cbLine = 0;
    const char *pLine = nullptr;
    if (!NextLine(pText, cbText, ich, pLine, cbLine) || !LineIs(pLine, cbLine, kResultFirstLine)) return false;
    bool bOutcome = false;
    while (NextLine(pText, cbText, ich, pLine, cbLine)) {
        const char *pSpace = static_cast<const char *>(std::memchr(pLine, ' ', cbLine));
        if (!pSpace || pSpace + 1 == pLine + cbLine) return false;
        const size_t cbWord = size_t(pSpace - pLine), cbValue = cbLine - cbWord - 1;
        bool bKnown = false;
        for (const char *pszWord : kLineWords) bKnown = bKnown || LineIs(pLine, cbWord, pszWord);
        if (!bKnown) return false;
        if (!LineIs(pLine, cbWord, "outcome")) continue;
        if (bOutcome) return false;
        for (int i = 0; i < 4 && !bOutcome; ++i)
            if (LineIs(pSpace + 1, cbValue, kOutcomeWords[i])) outcome = RunOutcome(i), bOutcome = true;
        if (!bOutcome) return false;
    }
    return bOutcome;
}

bool SameResult(const char *pA, size_t cbA, const char *pB, size_t cbB) {
    RunOutcome outcome;
    if (!ParseResultRecord(pA, cbA, outcome) || !ParseResultRecord(pB, cbB, outcome)) return false;
    size_t ichA = 0, ichB = 0, cbLineA = 0, cbLineB = 0;
    const char *pLineA = nullptr, *pLineB = nullptr;
    for (;;) {
        const bool bA = NextFact(pA, cbA, ichA, pLineA, cbLineA), bB = NextFact(pB, cbB, ichB, pLineB, cbLineB);
        if (!bA || !bB) return bA == bB;
        if (cbLineA != cbLineB || std::memcmp(pLineA, pLineB, cbLineA) != 0) return false;
    }
}
