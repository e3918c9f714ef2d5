// check: a card made by hand, read by the device's rules. One line per entry the device does
// not simply copy; the entries it skips and the markers that plan nothing are findings.
#include "card/card_commands.h"
#include "card/card_writer.h"
#include "card/console_text.h"
#include "card/device_rules.h"
#include "platform/cstring.h"
#include "update/manifest/card_signature.h"
#include "update/rules/name_rule.h"
#include "update/manifest/whole_card.h"
#include "update/storage/file_reading.h"

namespace {

// The card against its manifest: each finding a line.
class ManifestFindings : public ICardFindings {
public:
    int nFindings = 0;
    void Found(CardFinding finding, LPCWSTR pszPath, const ManifestEntry *pListed, ULONGLONG cbThere) override {
        std::wstring rel = pszPath;
        for (wchar_t &c : rel)
            if (c == L'\\') c = L'/';
        const std::wstring listed = pListed ? Count(pListed->cbSize, L"byte") : L"";
        std::wstring what;
        switch (finding) {
        case CardFinding::kMissing: what = L"missing: the manifest lists it"; break;
        case CardFinding::kExtra: what = L"extra: the manifest does not list it"; break;
        case CardFinding::kKind: what = pListed && pListed->bFolder ? L"a file where the manifest lists a folder"
                                                                  : L"a folder where the manifest lists a file"; break;
        case CardFinding::kShort: what = L"short: " + Count(cbThere, L"byte") + L" of the " + listed + L" listed"; break;
        case CardFinding::kLong: what = L"longer than listed: " + Count(cbThere, L"byte") + L", not " + listed; break;
        case CardFinding::kChanged: what = L"changed: its SHA-256 is not the one listed"; break;
        case CardFinding::kUnreadable: what = L"cannot be read"; break;
        }
        ++nFindings;
        Out(L"  " + (rel.empty() ? std::wstring(L".") : rel) + L": " + what);
    }
};

std::wstring WhyNotSigned(SignatureVerdict verdict) {
    switch (verdict) {
    case SignatureVerdict::kGood: break;
    case SignatureVerdict::kWrongLength: return L"not exactly as many bytes as the key's modulus";
    case SignatureVerdict::kNotBelowModulus: return L"as a number, not below the key's modulus";
    case SignatureVerdict::kMismatch: return L"not made by this key over these bytes";
    case SignatureVerdict::kNoSignature: return L"there is no signature file";
    case SignatureVerdict::kNoKey: return L"the key is no maker's key the device takes";
    }
    return L"";
}

// The manifest's signature and sequence, as a device built with the key (pKey) or with
// any key (none given) sees them.
void CheckSignature(const std::wstring &folder, const CManifest &manifest, const CardKey *pKey) {
    const std::wstring sequence = manifest.Sequence() ? L"sequence " + std::to_wstring(manifest.Sequence())
                                                      : std::wstring(L"no sequence (taken as 0)");
    if (pKey) {
        Out(std::wstring(L"  ") + kSignatureName + L": the manifest signed by the key, " + sequence +
            L": a device built with the key takes the card unless it took one of a higher sequence");
    } else if (HasSignature(HostPath(folder, L"").c_str())) {
        Out(std::wstring(L"  ") + kSignatureName + L": signed, " + sequence + L" (--key checks the signature)");
    } else {
        Out(L"  no signature: a device built with its maker's key applies nothing of the card");
    }
}

// The key's modulus, as tools/card_key.sh writes it: no more bytes than the longest.
bool ReadModulus(const std::wstring &path, std::vector<BYTE> &modulus, std::wstring &error) {
    const std::wstring hostPath = HostPath(path, L"");
    modulus.assign(kMaxModulusBytes + 1, 0);
    size_t got = 0;
    if (!ReadFileStart(hostPath.c_str(), modulus.data(), modulus.size(), got)) {
        const DWORD code = GetLastError();
        error = L"cannot read the key's modulus " + path + L": " + ErrorText(code);
        return false;
    }
    modulus.resize(got);
    if (IsCardKeyModulus(modulus.data(), modulus.size())) return true;
    error = L"not the modulus of a key the device takes (2048, 3072 or 4096 bits): " + path;
    return false;
}

// What the device makes of the card's manifest: the card goes in only when it is whole;
// with the maker's key, only when that key signed it.
int CheckManifest(const std::wstring &folder, bool bKeepSource, const CardKey *pKey) {
    const std::wstring hostFolder = HostPath(folder, L"");
    if (!HasManifest(hostFolder.c_str())) {
        Out(pKey ? L"  no manifest: a device built with the key applies nothing of the card"
                 : L"  no manifest: the device applies the card as it finds it, unchecked");
        return pKey ? 1 : 0;
    }
    const std::wstring signature = HostPath(folder, kSignatureName);
    CSignatureCheck check(pKey ? *pKey : CardKey(), signature.c_str());
    CManifest manifest;
    if (!manifest.Read(HostPath(folder, kManifestName).c_str(), pKey ? &check : nullptr)) {
        if (manifest.Fault() == ManifestFault::kNotSigned)
            Out(std::wstring(L"  ") + kSignatureName + L": no signature of the manifest by the key (" +
                WhyNotSigned(check.Verdict()) + L"): a device built with the key applies nothing of the card");
        else
            Out(std::wstring(L"  ") + kManifestName + L": the manifest is not intact (" + DescribeFault(manifest) +
                L"): the device applies nothing of the card");
        return 1;
    }
    CheckSignature(folder, manifest, pKey);
    ManifestFindings findings;
    CompareCard(manifest, hostFolder.c_str(), bKeepSource, true, &findings);
    if (findings.nFindings)
        Out(L"  " + Count(findings.nFindings, L"finding") + L" against the manifest: the device applies nothing of the card");
    else
        Out(L"  the card is whole: " + Count(manifest.Count(), L"entry") + L" as the manifest lists them");
    return findings.nFindings;
}

class Checker {
public:
    Checker(const HostEntry &card, const HostEntry *pNow) : m_card(card), m_pNow(pNow) {
        for (const HostEntry &entry : card.children)
            if (IsKeepSourceMarker(entry.name, entry.bFolder)) m_bKeepSource = true;
    }

    int Run(const std::wstring &folder, const CardKey *pKey) {
        for (const HostEntry &entry : m_card.children)
            if (!entry.bFolder) ReadTopLevelFile(entry);
        Walk(m_card, L"");
        Summarize();
        const int nManifest = CheckManifest(folder, m_bKeepSource, pKey);
        return m_nSkipped + m_nPlansNothing + nManifest ? kRefused : kDone;
    }

private:
    void Line(const std::wstring &rel, const std::wstring &what) { Out(L"  " + rel + L": " + what); }

    void ReadTopLevelFile(const HostEntry &entry) {
        const std::wstring &name = entry.name;
        if (IsKeepSourceMarker(name, false)) {
            Line(name, L"the keep-source marker: no marker is consumed, nothing is removed from the card or the flash "
                       L"store; copied into the flash store and removed there at the end");
            return;
        }
        const MarkerEntry marker = ReadCardMarker(name, FALSE);
        const std::wstring copied = L"copied into the flash store as a file";
        switch (marker.kind) {
        case MarkerKind::kUpdate:
            Line(name, m_bKeepSource ? L"the update marker: " + copied + L", removed there at the end"
                                     : L"the update marker: consumed");
            break;
        case MarkerKind::kPlansNothing:
            ++m_nPlansNothing;
            Line(name, L"a delete marker that plans nothing (" + WhyMarkerPlansNothing(name) + L"): " +
                           (m_bKeepSource ? copied : L"consumed"));
            break;
        case MarkerKind::kPlansDeletion:
            if (m_bKeepSource) {
                ++m_nPlansNothing;
                Line(name, L"a delete marker, but keep-source mode removes nothing: " + copied);
            } else {
                Line(name, Removal(marker));
            }
            break;
        case MarkerKind::kUnaddressable:
            if (LooksLikeMarker(name)) {
                ++m_nPlansNothing;
                Line(name, L"not read as a marker (" + WhyMarkerPlansNothing(name) + L"): " +
                               (WhyNameSkips(name).empty() ? L"the copy takes it for content" : L"the copy skips it too"));
            }
            break;
        case MarkerKind::kNotAMarker:
            break;
        }
        if (WhenConsumed(marker.kind, m_bKeepSource) != MarkerConsumption::kNever) m_consumed.push_back(&entry);
    }

    static bool LooksLikeMarker(const std::wstring &name) {
        return NamesMatch(name.c_str(), kUpdateMarker) || NameHasPrefix(name.c_str(), kDeletePrefix);
    }

    // The flash folder a delete marker removes, and what it holds there.
    std::wstring Removal(const MarkerEntry &marker) {
        const std::wstring planned = std::wstring(CString(marker.szPlanned));
        const std::wstring folder = planned.substr(kFlashFolderW.size() + 1);
        std::wstring what = L"removes the flash folder " + planned + L" before the copy, then is consumed";
        for (const std::wstring &earlier : m_removed)
            if (SameName(earlier, folder)) return what + L" (an earlier marker removes it already)";
        m_removed.push_back(folder);
        if (!m_pNow) return what;
        const HostEntry *pFolder = FindChild(*m_pNow, folder);
        if (!pFolder || !pFolder->bFolder) return what + L"; NOW holds no such folder: nothing to remove";
        const TreeCounts counts = CountTree(*pFolder);
        what += L"; in NOW it holds " + Count(counts.nFiles, L"file") + L" and " + Count(counts.nFolders, L"folder") +
                L" (" + Count(counts.cbBytes, L"byte") + L")";
        for (const auto &[rel, why] : UnreachableByDeletion(*pFolder)) {
            ++m_nSkipped;
            what += L"\n    left in the flash store: " + rel + L": " + why;
        }
        return what;
    }

    bool IsConsumed(const HostEntry &entry) const {
        for (const HostEntry *p : m_consumed)
            if (p == &entry) return true;
        return false;
    }

    // The copy walk over the card folder, by its own rules.
    void Walk(const HostEntry &folder, const std::wstring &rel) {
        const std::wstring device = DevicePath(kCardFolderW, rel);
        const HostEntry *pPrevious = nullptr;
        for (const HostEntry &child : folder.children) {
            if (IsConsumed(child) || (rel.empty() && !child.bFolder && (IsManifestName(child.name.c_str()) ||
                                                                          IsSignatureName(child.name.c_str()))))
                continue;
            const std::wstring childRel = Below(rel, child.name);
            std::wstring why = WhyWalkPasses(Walk::kCopy, device, child.name, child.bFolder);
            if (!why.empty()) {
                ++m_nSkipped;
                Line(childRel, L"skipped: " + why);
                continue;
            }
            const std::wstring note = WhyFlashCannotHold(child.name);
            if (!note.empty()) Line(childRel, L"copied, but the name " + note);
            if (pPrevious && SameName(pPrevious->name, child.name))
                Line(childRel, L"copied to the same flash entry as " + pPrevious->name + L": the one listed last stays");
            pPrevious = &child;
            if (child.bFolder) {
                ++m_nFolders;
                why = WhyListingFails(DevicePath(kCardFolderW, childRel));
                if (!why.empty() || child.bTooDeep) {
                    ++m_nSkipped;
                    Line(childRel, L"content skipped: the copy makes the folder but lists nothing in it: " +
                                       (why.empty() ? L"it lies too deep" : why));
                } else {
                    Walk(child, childRel);
                }
            } else {
                ++m_nFiles;
                m_cbBytes += child.cbSize;
            }
        }
    }

    void Summarize() {
        Out(L"  " + Count(m_nFiles, L"file") + L" (" + Count(m_cbBytes, L"byte") + L") and " + Count(m_nFolders, L"folder") +
            L" to copy; " + Count(m_removed.size(), L"flash folder") + L" removed first");
        if (m_nSkipped)
            Out(L"  " + Count(m_nSkipped, L"entry") + L" skipped" +
                (m_bKeepSource ? L"" : L": the copy counts as failed and the device keeps the card folder for another try"));
        if (m_nPlansNothing) Out(L"  " + Count(m_nPlansNothing, L"marker") + L" planning nothing");
    }

    const HostEntry &m_card;                 // the card folder's tree
    const HostEntry *m_pNow;                 // the flash store's, when given
    bool m_bKeepSource = false;              // the card holds the keep-source marker
    std::vector<const HostEntry *> m_consumed;   // markers the scan consumes before the copy
    std::vector<std::wstring> m_removed;     // flash folders the markers remove
    int m_nFiles = 0, m_nFolders = 0;        // what the copy brings over
    ULONGLONG m_cbBytes = 0;
    int m_nSkipped = 0, m_nPlansNothing = 0; // the findings
};

} // namespace

int RunCheck(const CardOptions &o) {
    HostEntry card, now;
    std::wstring error;
    const std::wstring folder = CardFolderIn(o.card);
    if (!ReadHostTree(folder, card, error) || (!o.flash.empty() && !ReadHostTree(o.flash, now, error))) {
        Err(L"TessivardCard: " + error);
        return kCannot;
    }
    std::vector<BYTE> modulus;
    CardKey key;
    if (!o.keyModulus.empty()) {
        if (!ReadModulus(o.keyModulus, modulus, error)) {
            Err(L"TessivardCard: " + error);
            return kCannot;
        }
        key.pModulus = modulus.data(), key.cbModulus = modulus.size();
    }
    Out(L"The card " + o.card + L", read by the device's rules (code page " + std::to_wstring(GetACP()) + L"):");
    return Checker(card, o.flash.empty() ? nullptr : &now).Run(folder, o.keyModulus.empty() ? nullptr : &key);
}
