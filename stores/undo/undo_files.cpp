#include "stores/undo/undo_files.h"

#include <windows.h>
#include <sddl.h>

#include "stores/undo/undo_name.h"
#include "win32/handles.h"
#include "win32/wide_text.h"

namespace vornex {

namespace {

using win32::FromWide;
using win32::Wide;

// Enough numbered names for many actions in one second, few enough to end.
constexpr unsigned kNamesTried = 100;
constexpr RegResult kRegNotAFolder = ERROR_DIRECTORY;

Text DescribeSecurity(const std::vector<unsigned char>& descriptor) {
    if (!IsValidSecurityDescriptor(const_cast<unsigned char*>(descriptor.data()))) return Text();
    LPWSTR text = nullptr;
    constexpr SECURITY_INFORMATION kParts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                            DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION |
                                            LABEL_SECURITY_INFORMATION;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(const_cast<unsigned char*>(descriptor.data()),
                                                              SDDL_REVISION_1, kParts, &text, nullptr)) {
        return Text();
    }
    const win32::UniqueLocal owned(text);
    return FromWide(text);
}

Text EnvironmentFolder(const wchar_t* name) {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableW(name, buffer, ARRAYSIZE(buffer));
    if (length == 0 || length >= ARRAYSIZE(buffer)) return Text();
    return FromWide(std::wstring_view(buffer, length));
}

Text WithoutTrailingSlash(Text folder) {
    while (folder.size() > 3 && (folder.back() == u'\\' || folder.back() == u'/')) folder.pop_back();
    return folder;
}

// Opens `folder` itself, never what a link or junction points at, and keeps
// it from being renamed or replaced while it is open. kRegNotAFolder for a
// file, a link or a junction.
RegResult OpenRealFolder(const Text& folder, win32::UniqueKernelHandle* handle) {
    CreateDirectoryW(Wide(folder).c_str(), nullptr);
    handle->reset(CreateFileW(Wide(folder).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!*handle) return static_cast<RegResult>(GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle->get(), &info)) return static_cast<RegResult>(GetLastError());
    const DWORD attributes = info.dwFileAttributes;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return kRegNotAFolder;
    return kRegOk;
}

RegResult WriteWhole(HANDLE file, const std::vector<unsigned char>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 24));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) return static_cast<RegResult>(GetLastError());
        if (written == 0) return kRegWriteFault;
        done += written;
    }
    return FlushFileBuffers(file) ? kRegOk : static_cast<RegResult>(GetLastError());
}

}  // namespace

std::vector<Text> DefaultUndoFolders() {
    std::vector<Text> folders;
    std::vector<wchar_t> module(32768);
    const DWORD length = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (length > 0 && length < module.size()) {
        Text program = FromWide(std::wstring_view(module.data(), length));
        const std::size_t slash = program.find_last_of(u"\\/");
        if (slash != Text::npos) folders.push_back(program.substr(0, slash) + u"\\undo");
    }
    if (const Text local = EnvironmentFolder(L"LOCALAPPDATA"); !local.empty()) {
        folders.push_back(WithoutTrailingSlash(local) + u"\\Vornex-undo");
    }
    wchar_t temp[MAX_PATH + 1];
    const DWORD tempLength = GetTempPathW(ARRAYSIZE(temp), temp);
    if (tempLength > 0 && tempLength < ARRAYSIZE(temp)) {
        folders.push_back(WithoutTrailingSlash(FromWide(std::wstring_view(temp, tempLength))) + u"\\Vornex-undo");
    }
    return folders;
}

Text LocalStamp() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t stamp[32];
    swprintf(stamp, ARRAYSIZE(stamp), L"%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute, now.wSecond);
    return FromWide(stamp);
}

UndoFiles::UndoFiles(std::vector<Text> folders, Text fileName)
    : folders_(std::move(folders)), fileName_(std::move(fileName)) {}

Text UndoFiles::Planned() const {
    // The first folder that is a real one, or that is not there yet and would be made.
    for (const Text& folder : folders_) {
        const DWORD attributes = GetFileAttributesW(Wide(folder).c_str());
        const bool missing = attributes == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND;
        const bool real = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                          !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (missing || real) return WithoutTrailingSlash(folder) + u'\\' + fileName_;
    }
    return Text();
}

RegResult UndoFiles::Keep(const UndoRecord& record) {
    const RegFile file = EncodeRegFile(record, DescribeSecurity);
    notRestorable_ = file.notRestorable;
    RegResult last = kRegFileNotFound;
    for (const Text& folder : folders_) {
        last = WriteIn(WithoutTrailingSlash(folder), file.bytes);
        if (last == kRegOk) return kRegOk;
        refusals_.push_back({folder, last});
    }
    return last;
}

RegResult UndoFiles::WriteIn(const Text& folder, const std::vector<unsigned char>& bytes) {
    win32::UniqueKernelHandle pinned;
    if (const RegResult opened = OpenRealFolder(folder, &pinned); opened != kRegOk) return opened;
    for (unsigned n = 1; n <= kNamesTried; ++n) {
        const Text path = folder + u'\\' + (n == 1 ? fileName_ : NumberedName(fileName_, n));
        win32::UniqueKernelHandle file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            return static_cast<RegResult>(error);
        }
        const RegResult written = WriteWhole(file.get(), bytes);
        file.reset();
        if (written != kRegOk) {
            DeleteFileW(Wide(path).c_str());
            return written;
        }
        path_ = path;
        return kRegOk;
    }
    return static_cast<RegResult>(ERROR_FILE_EXISTS);
}

}  // namespace vornex
