#include "card/card_plan.h"
#include "card/console_text.h"
#include "card/device_rules.h"
#include "update/run/job_list.h"

namespace {

const HostEntry *FindExact(const HostEntry &folder, const HostEntry &like) {
    for (const HostEntry &child : folder.children)
        if (child.name == like.name && child.bFolder == like.bFolder) return &child;
    return nullptr;
}

class Planner {
public:
    Planner(const PlanInput &input, CardPlan &plan) : m_in(input), m_plan(plan) {}

    bool Run(std::wstring &error) {
        CheckNames(L"NEW", *m_in.pNew, L"", true);
        CheckNames(L"NOW", *m_in.pNow, L"", false);
        CheckMarkerNames();
        PlanTop();
        for (const CardItem &item : m_plan.items) CheckCarried(item);
        for (const Replacement &r : m_plan.replaced) CheckReplacement(r);
        AddMarkers();
        error = m_error;
        return m_error.empty();
    }

private:
    void Refuse(const wchar_t *pszTree, const std::wstring &rel, const std::wstring &why) {
        m_plan.refusals.push_back(std::wstring(pszTree) + L" " + rel + L": " + why);
    }

    // Names the device cannot hold, at every depth of NEW; names NOW could not hold either.
    void CheckNames(const wchar_t *pszTree, const HostEntry &folder, const std::wstring &rel, bool bEvery) {
        const HostEntry *pPrevious = nullptr;
        for (const HostEntry &child : folder.children) {
            const std::wstring childRel = Below(rel, child.name);
            if (pPrevious && SameName(pPrevious->name, child.name))
                Refuse(pszTree, childRel, L"differs from " + pPrevious->name + L" only in letter case, which the device does not tell apart");
            pPrevious = &child;
            if (bEvery) {
                std::wstring why = WhyNameSkips(child.name);
                if (why.empty()) why = WhyFlashCannotHold(child.name);
                if (!why.empty()) Refuse(pszTree, childRel, L"the name " + why);
                if (child.bTooDeep) Refuse(pszTree, childRel, L"lies deeper than any path the walks hold");
            }
            if (child.bFolder) CheckNames(pszTree, child, childRel, bEvery);
        }
    }

    void CheckMarkerNames() {
        for (const HostEntry &child : m_in.pNew->children) {
            if (child.bFolder) continue;
            const MarkerKind kind = ReadCardMarker(child.name, FALSE).kind;
            const wchar_t *pszTaken = L"a top-level file the device takes for ";
            if (IsKeepSourceMarker(child.name, false))
                Refuse(L"NEW", child.name, pszTaken + std::wstring(L"the keep-source marker"));
            else if (kind == MarkerKind::kUpdate)
                Refuse(L"NEW", child.name, pszTaken + std::wstring(L"the update marker"));
            else if (kind == MarkerKind::kPlansNothing || kind == MarkerKind::kPlansDeletion)
                Refuse(L"NEW", child.name, pszTaken + std::wstring(L"a delete marker"));
        }
    }

    // The top level: a folder NEW removes anything from is replaced; a file is copied over.
    void PlanTop() {
        const HostEntry &now = *m_in.pNow, &next = *m_in.pNew;
        for (const HostEntry &n : now.children) {
            const HostEntry *x = FindExact(next, n);
            if (!n.bFolder) {
                const HostEntry *like = FindChild(next, n.name);
                if (!x && !IsRemovedAtTheEnd(n.name))
                    Refuse(L"NOW", n.name, L"NEW removes this top-level file" +
                                               (like ? L" (it holds " + like->name + (like->bFolder ? L" as a folder)" : L")") : L"") +
                                               L", and no marker removes a file");
                continue;
            }
            std::wstring removed = x ? FirstRemoved(n, *x, n.name) : n.name;
            if (!removed.empty()) m_plan.replaced.push_back({&n, DeleteMarkerOf(n.name), removed});
        }
        for (const HostEntry &x : next.children) {
            const HostEntry *n = FindChild(now, x.name);
            const bool bSame = n && n->name == x.name && n->bFolder == x.bFolder;
            if (!bSame || IsReplaced(*n)) {
                AddWhole(x, x.name);
            } else if (!x.bFolder) {
                if (!SameFile(*n, x, x.name)) m_plan.items.push_back({x.name, &x, false, true, n->cbSize});
            } else {
                AddChangedFolder(*n, x, x.name);
            }
        }
    }

    bool IsReplaced(const HostEntry &n) const {
        for (const Replacement &r : m_plan.replaced)
            if (r.pNow == &n) return true;
        return false;
    }

    // What NEW lacks of NOW's folder (the entry of that name and kind), first in card order.
    std::wstring FirstRemoved(const HostEntry &n, const HostEntry &x, const std::wstring &rel) {
        for (const HostEntry &child : n.children) {
            const HostEntry *match = FindExact(x, child);
            if (!match) return Below(rel, child.name);
            if (child.bFolder) {
                std::wstring removed = FirstRemoved(child, *match, Below(rel, child.name));
                if (!removed.empty()) return removed;
            }
        }
        return L"";
    }

    void AddWhole(const HostEntry &x, const std::wstring &rel) {
        m_plan.items.push_back({rel, &x, x.bFolder, false, 0});
        for (const HostEntry &child : x.children) AddWhole(child, Below(rel, child.name));
    }

    // A folder both hold, from which NEW removes nothing: what is new or changed in it.
    void AddChanges(const HostEntry &n, const HostEntry &x, const std::wstring &rel) {
        for (const HostEntry &child : x.children) {
            const std::wstring childRel = Below(rel, child.name);
            const HostEntry *match = FindExact(n, child);
            if (!match) {
                AddWhole(child, childRel);
            } else if (!child.bFolder) {
                if (!SameFile(*match, child, childRel)) m_plan.items.push_back({childRel, &child, false, true, match->cbSize});
            } else {
                AddChangedFolder(*match, child, childRel);
            }
        }
    }

    // The folder goes on the card only to hold what changed in it.
    void AddChangedFolder(const HostEntry &n, const HostEntry &x, const std::wstring &rel) {
        const size_t at = m_plan.items.size();
        AddChanges(n, x, rel);
        if (m_plan.items.size() > at) m_plan.items.insert(m_plan.items.begin() + long(at), CardItem{rel, &x, true, true, 0});
    }

    bool SameFile(const HostEntry &n, const HostEntry &x, const std::wstring &rel) {
        if (n.cbSize != x.cbSize || !m_error.empty() || !WhyNameSkips(x.name).empty()) return false;
        bool bSame = false;
        int iFailed = 0;
        std::wstring why;
        if (SameBytes(HostPath(m_in.nowRoot, rel), HostPath(m_in.newRoot, rel), bSame, iFailed, why)) return bSame;
        m_error = L"cannot read " + ShownBelow(iFailed ? m_in.newRoot : m_in.nowRoot, rel) + L": " + why;
        return false;
    }

    // Every entry the card carries must be one the copy walk brings over, at its depth.
    void CheckCarried(const CardItem &item) {
        const size_t cut = item.rel.find_last_of(L'/');
        const std::wstring folder = DevicePath(kCardFolderW, cut == std::wstring::npos ? L"" : item.rel.substr(0, cut));
        const std::wstring why = WhyPathSkips(folder, item.pSource->name, item.bFolder);
        if (!why.empty()) Refuse(L"NEW", item.rel, L"the card must carry it, but " + why);
    }

    // A replaced folder: its marker must remove exactly it, and its deletion must reach all of it.
    void CheckReplacement(const Replacement &r) {
        const std::wstring &name = r.pNow->name;
        const std::wstring what = r.firstRemoved == name ? L"NEW holds no folder of exactly this name"
                                                         : L"NEW removes " + r.firstRemoved + L" from it";
        if (m_in.bKeepSource) {
            Refuse(L"NOW", name, what + L", and in keep-source mode nothing is removed");
            return;
        }
        const std::wstring why = WhyNoMarkerRemoves(name);
        if (!why.empty()) {
            Refuse(L"NOW", name, what + L", but " + why);
            return;
        }
        for (const auto &[rel, cause] : UnreachableByDeletion(*r.pNow))
            Refuse(L"NOW", rel, L"the deletion of " + name + L" cannot remove it: " + cause);
    }

    // The markers come last, each beside the content in the card folder's top level.
    void AddMarkers() {
        if (m_plan.replaced.size() > kMaxMarkerDeletions)
            m_plan.refusals.push_back(L"NEW replaces " + std::to_wstring(m_plan.replaced.size()) +
                                      L" top-level folders; a card's delete markers plan at most " +
                                      std::to_wstring(kMaxMarkerDeletions) + L" deletions");
        std::vector<std::wstring> markers{UpdateMarkerName()};
        for (const Replacement &r : m_plan.replaced) markers.push_back(r.marker);
        if (m_in.bKeepSource) markers.push_back(KeepSourceMarkerName());
        for (const std::wstring &marker : markers) {
            if (const HostEntry *x = FindChild(*m_in.pNew, marker); x && x->bFolder)
                Refuse(L"NEW", x->name, L"a top-level folder of the name of a marker the card carries");
            m_plan.items.push_back({marker, nullptr, false, false, 0});
        }
    }

    const PlanInput &m_in;
    CardPlan &m_plan;
    std::wstring m_error;   // the first file that could not be read
};

} // namespace

bool PlanCard(const PlanInput &input, CardPlan &plan, std::wstring &error) {
    plan = CardPlan();
    return Planner(input, plan).Run(error);
}
