#include "update/rules/walk_rules.h"
#include "update/run/device_paths.h"
#include "update/rules/name_rule.h"

WalkRule ReadWalkEntry(Walk walk, LPCWSTR pszFolder, LPCWSTR pszName, bool bFolder, WCHAR (&szChild)[kWidePath]) {
    // A name the walk cannot address stays where it is: a copy that leaves it behind failed.
    const WalkAction unaddressable = walk == Walk::kCopy ? WalkAction::kFail : WalkAction::kPass;
    if (!JoinPath(szChild, kWidePath, pszFolder, pszName)) return {unaddressable, WalkReason::kPathTooLong};
    WalkRule rule = {bFolder ? WalkAction::kEnter : WalkAction::kWork, WalkReason::kTaken};
    if (!IsPlainChildName(pszFolder, pszName)) rule = {unaddressable, WalkReason::kNotItself};
    else if (bFolder && pszName[0] == L'.') rule = {WalkAction::kPass, WalkReason::kDotFolder};
    else if (walk == Walk::kCopy && IsReservedName(pszName)) rule = {WalkAction::kFail, WalkReason::kReserved};
    else if (walk == Walk::kCopy && IsSequenceRecordName(pszName)) rule = {WalkAction::kFail, WalkReason::kSequenceRecord};
    else if (walk == Walk::kCopy && IsResultRecordName(pszName)) rule = {WalkAction::kFail, WalkReason::kResultRecord};
    else if (walk == Walk::kCopy && !bFolder && (IsManifestName(pszName) || IsSignatureName(pszName)) &&
             NamesMatch(pszFolder, L"" CARD_FOLDER))
        rule = {WalkAction::kPass, IsManifestName(pszName) ? WalkReason::kManifest : WalkReason::kSignature};
    if (rule.action != WalkAction::kWork && rule.action != WalkAction::kEnter) szChild[0] = L'\0';
    return rule;
}
