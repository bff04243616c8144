#pragma once
// Registry links (REG_OPTION_CREATE_LINK keys): telling one from an ordinary
// key, and deleting the link itself, never what it points at.
#include <windows.h>

#include <string>

#include "core/reg_result.h"

namespace vornex::keysec {

struct LinkInfo {
    bool isLink = false;
    // The key's own NT name and, for a link, the name its followed open
    // reaches ("" when the target is missing or refuses every open).
    std::wstring ownName;
    std::wstring resolvedName;
    // SymbolicLinkValue as stored, when the link allows reading it.
    std::wstring target;
};

// Decides whether root\path is itself a link by comparing the key's own NT
// name (opened with REG_OPTION_OPEN_LINK) with the name of what a plain open
// reaches; a link whose target is missing opens only as itself; where the
// target refuses every open, a REG_LINK SymbolicLinkValue decides. Works with
// any access the key grants, since NtQueryKey's name class needs none.
// ERROR_FILE_NOT_FOUND when no key of that name exists.
RegResult QueryLinkInfo(HKEY root, const std::wstring& path, LinkInfo* info);

// Deletes the key named root\path itself, never what it points to: opens it
// with REG_OPTION_OPEN_LINK and DELETE, then NtDeleteKey on that handle.
// Safe for ordinary keys too (fails on one with subkeys, like RegDeleteKeyEx).
RegResult DeleteKeyNoFollow(HKEY root, const std::wstring& path);

}  // namespace vornex::keysec
