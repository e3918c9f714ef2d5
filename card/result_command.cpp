// result: a device's record of its last run (update/run/result_record.h), from its flash store
// or from beside a card's card folder, in words.
#include <cstring>
#include "card/card_commands.h"
#include "card/console_text.h"
#include "card/host_tree.h"
#include "platform/heap_array.h"
#include "update/run/result_record.h"

namespace {

// What each line of a record says, by its word.
struct LineWords {
    const char *pszWord;
    const wchar_t *pszSays;
};
const LineWords kLines[] = {
    {"reason", L"  why: "},
    {"recovered", L"  a run cut short before was finished or undone first: "},
    {"sequence", L"  the card's sequence: "},
    {"identity", L"  the card's identity (SHA-256 of its manifest): "},
    {"files-written", L"  files written into the flash store: "},
    {"files-unchanged", L"  files that held their new version already, left as they were: "},
    {"files-deleted", L"  files deleted from the flash store: "},
    {"folders-removed", L"  folders removed from the flash store: "},
    {"clock-start", L"  started (the device's clock, UTC): "},
    {"clock-end", L"  ended (the device's clock, UTC): "},
    {"version", L"  the program's version: "},
};
const wchar_t *const kOutcomeSays[] = {
    L"nothing: there was no card, or nothing on it to do",
    L"applied: the card went in",
    L"refused: a check failed, and nothing changed",
    L"incomplete: some work could not be done; the device keeps the card for its next start",
};

std::wstring Utf8(const char *p, size_t cb) {
    std::wstring text(cb, L'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, p, int(cb), text.data(), int(cb));
    text.resize(n > 0 ? size_t(n) : 0);
    return text;
}

} // namespace

int RunResult(const CardOptions &o) {
    const HeapArray<char> text = NewHeapArray<char>(kResultBytes + 1);
    const std::wstring path = HostPath(o.card, L"");
    const size_t cb = text ? ReadResultFile(path.c_str(), text.get()) : 0;
    RunOutcome outcome = RunOutcome::kNothing;
    if (!ParseResultRecord(text.get(), cb, outcome)) {
        Err(L"TessivardCard: not a result record this program reads: " + o.card);
        return kUsageStatus;
    }
    Out(o.card + L": " + kOutcomeSays[int(outcome)]);
    for (size_t ich = 0; ich < cb;) {
        const char *pLine = text.get() + ich, *pEnd = static_cast<const char *>(std::memchr(pLine, '\n', cb - ich));
        ich = size_t(pEnd - text.get()) + 1;
        for (const LineWords &line : kLines) {
            const size_t cbWord = std::strlen(line.pszWord);
            if (size_t(pEnd - pLine) > cbWord && std::memcmp(pLine, line.pszWord, cbWord) == 0 && pLine[cbWord] == ' ')
                Out(line.pszSays + Utf8(pLine + cbWord + 1, size_t(pEnd - pLine) - cbWord - 1));
        }
    }
    return outcome == RunOutcome::kApplied || outcome == RunOutcome::kNothing ? kDone : kRefused;
}
