#include "update/manifest/sequence_record.h"
#include "platform/bounded_text.h"
#include "platform/heap_array.h"
#include "update/storage/file_reading.h"
#include "update/storage/file_system.h"
#include "update/storage/paths.h"
#include "update/storage/record_file.h"

namespace {

constexpr size_t kRecordPath = 128;   // the flash store's own folder and the record's name
// The longest record: the sequence, the card line, "scanned" and every consumed line; one
// more byte to tell a longer file.
constexpr char kCardWord[] = "card ", kOpen[] = " open", kFinished[] = " finished", kScanned[] = "scanned",
               kConsumedWord[] = "consumed ";
constexpr size_t kRecordBytes = 21 + (sizeof kCardWord + kDigestHex + sizeof kFinished) + sizeof kScanned +
                                kRecordedMarkers * (sizeof kConsumedWord + 10) + 1;

bool RecordPath(LPCWSTR pszFlash, WCHAR (&szPath)[kRecordPath]) {
    return JoinPath(szPath, kRecordPath, pszFlash, kSequenceRecordName);
}

// The line at p of the text ending at end: its length without the newline, and p moved past
// it; false when no whole line is left.
bool NextLine(const char *&p, const char *end, const char *&line, size_t &cch) {
    const char *nl = p < end ? static_cast<const char *>(memchr(p, '\n', size_t(end - p))) : nullptr;
    if (!nl) return false;
    line = p, cch = size_t(nl - p), p = nl + 1;
    return true;
}

bool Is(const char *line, size_t cch, const char *psz) { return cch == strlen(psz) && memcmp(line, psz, cch) == 0; }

bool StartsWith(const char *line, size_t cch, const char *psz) { return cch >= strlen(psz) && memcmp(line, psz, strlen(psz)) == 0; }

// Every line after the sequence's; false for anything else than the lines above, in order.
bool ReadCardLines(const char *p, const char *end, CardRecord &record) {
    if (p == end) return true;   // the sequence alone
    constexpr size_t cchCard = sizeof kCardWord - 1 + kDigestHex;
    const char *line;
    size_t cch;
    if (!NextLine(p, end, line, cch) || cch < cchCard || !StartsWith(line, cch, kCardWord) ||
        !DigestFromHex(line + sizeof kCardWord - 1, kDigestHex, record.identity))
        return false;
    record.bIdentified = true;
    record.bFinished = Is(line + cchCard, cch - cchCard, kFinished);
    if (record.bFinished) return p == end;
    if (!Is(line + cchCard, cch - cchCard, kOpen)) return false;
    const char *next = p;
    if (NextLine(next, end, line, cch) && Is(line, cch, kScanned)) record.bScanned = true, p = next;
    while (p < end) {
        ULONGLONG i;
        if (!NextLine(p, end, line, cch) || !StartsWith(line, cch, kConsumedWord) || record.nConsumed == kRecordedMarkers ||
            !ReadDecimal(line + sizeof kConsumedWord - 1, cch - (sizeof kConsumedWord - 1), i) || i > 0xFFFFFFFFull)
            return false;
        record.consumed[record.nConsumed++] = UINT32(i);
    }
    return true;
}

// The record's text into text (kRecordBytes), its length into cb; false when it does not fit.
bool RecordText(const CardRecord &record, char *text, size_t &cb) {
    size_t used = 0;
    auto add = [&](const char *psz) {
        const size_t n = strlen(psz);
        if (n >= kRecordBytes - used) return false;
        memcpy(text + used, psz, n);
        used += n;
        return true;
    };
    char szNumber[21], szHex[kDigestHex + 1];
    bool ok = DecimalText(szNumber, sizeof szNumber, record.sequence) && add(szNumber) && add("\n");
    if (ok && record.bIdentified) {
        DigestToHex(record.identity, szHex);
        ok = add(kCardWord) && add(szHex) && add(record.bFinished ? kFinished : kOpen) && add("\n");
        if (ok && !record.bFinished && record.bScanned) ok = add(kScanned) && add("\n");
        for (size_t i = 0; ok && !record.bFinished && i < record.nConsumed; ++i)
            ok = DecimalText(szNumber, sizeof szNumber, record.consumed[i]) && add(kConsumedWord) && add(szNumber) && add("\n");
    }
    cb = used;
    return ok;
}

} // namespace

bool CardRecord::Consumed(size_t iEntry) const {
    for (size_t i = 0; i < nConsumed; ++i)
        if (consumed[i] == iEntry) return true;
    return false;
}

SequenceRecord ReadSequenceRecord(LPCWSTR pszFlash, CardRecord &record) {
    record = CardRecord();
    WCHAR szPath[kRecordPath];
    if (!RecordPath(pszFlash, szPath)) return SequenceRecord::kUnreadable;
    if (WhatIsAt(szPath) == PathHolds::kNothing) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? SequenceRecord::kNone
                                                                                : SequenceRecord::kUnreadable;
    }
    const HeapArray<char> text = NewHeapArray<char>(kRecordBytes);
    size_t cb = 0;
    const char *p = text.get(), *line;
    size_t cchLine;
    if (!text || !ReadFileStart(szPath, text.get(), kRecordBytes, cb) || cb == kRecordBytes ||
        !NextLine(p, text.get() + cb, line, cchLine) || cchLine == 0 || !ReadDecimal(line, cchLine, record.sequence) ||
        !ReadCardLines(p, text.get() + cb, record)) {
        record = CardRecord();
        return SequenceRecord::kUnreadable;
    }
    return SequenceRecord::kRead;
}

bool WriteSequenceRecord(LPCWSTR pszFlash, const CardRecord &record, CRecoveryRecord *pRecovery) {
    // The text on the heap: the worker's frames stay small.
    const HeapArray<char> text = NewHeapArray<char>(kRecordBytes);
    WCHAR szPath[kRecordPath];
    size_t cb = 0;
    if (!text || !RecordPath(pszFlash, szPath) || !RecordText(record, text.get(), cb)) return false;
    return ReplaceRecordFile(pszFlash, szPath, text.get(), cb, pRecovery);
}
