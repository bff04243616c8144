// The hive file layer on Windows: share modes that keep a loaded hive out of
// reach, a lock, copies from mapped views, FlushFileBuffers, ReplaceFileW.
// Paths go to the system as \\?\ paths, so that no length limit or name
// rewriting applies.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "stores/hive/hive_file.h"
#include "win32/handles.h"
#include "win32/wide_text.h"

namespace vornex::hive {

namespace {

using win32::UniqueKernelHandle;
using win32::Utf8FromWide;
using win32::WideFromUtf8;

struct FindTraits {
    using value_type = HANDLE;
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool valid(HANDLE h) noexcept { return h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { FindClose(h); }
};
using UniqueFind = win32::UniqueHandle<FindTraits>;

bool StartsWithIgnoringCase(const std::wstring& text, std::size_t at, const wchar_t* prefix) {
    const std::size_t length = wcslen(prefix);
    return text.size() >= at + length &&
           CompareStringOrdinal(text.c_str() + at, static_cast<int>(length), prefix, static_cast<int>(length), TRUE) ==
               CSTR_EQUAL;
}

// Where a file can lie: \\?\C:\..., \\?\UNC\server\share\..., or on a volume
// without a letter, \\?\Volume{...}\.... Not a device (\\?\PhysicalDrive0,
// \\?\GLOBALROOT\..., a volume itself: \\?\C:).
bool OnAFileSystem(const std::wstring& path) {
    const std::size_t at = 4;  // after \\?\ .
    const wchar_t drive = path.size() > at ? static_cast<wchar_t>(path[at] | 0x20) : L'\0';
    if (path.size() > at + 2 && drive >= L'a' && drive <= L'z' && path[at + 1] == L':' && path[at + 2] == L'\\') {
        return true;
    }
    if (StartsWithIgnoringCase(path, at, L"UNC\\")) {
        const std::size_t server = at + 4;
        const std::size_t share = path.find(L'\\', server);
        return share != std::wstring::npos && share > server && path[server] != L'.' && path[server] != L'?' &&
               share + 1 < path.size() && path[share + 1] != L'\\';
    }
    if (StartsWithIgnoringCase(path, at, L"Volume{")) {
        const std::size_t close = path.find(L"}\\", at);
        return close != std::wstring::npos && close + 2 < path.size();
    }
    return false;
}

// C:\a, C:/a, a\b, \\server\share\a  ->  \\?\C:\a, \\?\UNC\server\share\a; a
// \\?\ path as given. Empty for what names no file on a file system: CON,
// NUL, \\.\PhysicalDrive0 and other devices.
std::wstring SystemPath(const std::string& path) {
    std::wstring wide = WideFromUtf8(path);
    if (wide.rfind(L"\\\\?\\", 0) != 0) {
        for (wchar_t& c : wide) {
            if (c == L'/') c = L'\\';
        }
        const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
        if (size == 0) return std::wstring();
        std::wstring full(size, L'\0');
        const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
        if (length == 0 || length >= size) return std::wstring();
        full.resize(length);
        // \\.\CON, \\.\PhysicalDrive0: the device namespace, never a file's.
        if (full.rfind(L"\\\\.\\", 0) == 0 || full.rfind(L"\\\\?\\", 0) == 0) return std::wstring();
        wide = full.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
    }
    return OnAFileSystem(wide) ? wide : std::wstring();
}

// The running Windows keeps the hives it has loaded in System32\config.
bool InRunningSystemsConfig(const std::string& path) {
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring file = SystemPath(path);
    const std::size_t slash = file.find_last_of(L'\\');
    if (length == 0 || length >= MAX_PATH || slash == std::wstring::npos) return false;
    const std::wstring config = L"\\\\?\\" + std::wstring(system, length) + L"\\config";
    return slash == config.size() && StartsWithIgnoringCase(file, 0, config.c_str());
}

RegResult CodeOf(DWORD error, RegResult otherwise = kRegWriteFault) {
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return kRegDiskFull;
        case ERROR_WRITE_PROTECT: return kRegWriteProtect;
        case ERROR_SHARING_VIOLATION: return kRegSharingViolation;
        case ERROR_LOCK_VIOLATION: return kRegLockViolation;
        case ERROR_ACCESS_DENIED: return kRegAccessDenied;  // the file's security: a real refusal
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:  // a name no file can have: *, ?, <
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME: return kRegFileNotFound;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return kRegNotEnoughMemory;
        default: return otherwise;
    }
}

std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    win32::UniqueLocal owned(text);
    std::wstring message = length ? std::wstring(text, length) : std::wstring();
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.')) {
        message.pop_back();
    }
    return (message.empty() ? "" : Utf8FromWide(message) + " ") + "(error " + std::to_string(error) + ")";
}

FileFailure Failed(const std::string& path, DWORD error = GetLastError(), RegResult otherwise = kRegWriteFault) {
    if (error == ERROR_SHARING_VIOLATION) {
        // Reading is refused as well: Windows shares nothing of a loaded hive.
        return {kRegSharingViolation,
                path + (InRunningSystemsConfig(path)
                            ? ": in use by the running Windows, which has this hive loaded"
                            : ": in use by another program (held open as Windows holds a hive it has loaded)")};
    }
    return {CodeOf(error, otherwise), path + ": " + SystemMessage(error)};
}

// An existing file on a file system, opened; a folder, a device or a pipe is
// refused (a console or a disk would be read for ever, or whole).
FileFailure OpenFile(const std::string& path, DWORD access, DWORD share, DWORD flags, UniqueKernelHandle* out) {
    const std::wstring system = SystemPath(path);
    if (system.empty()) return {kRegInvalidParameter, path + ": names a device, not a file"};
    UniqueKernelHandle file(CreateFileW(system.c_str(), access, share, nullptr, OPEN_EXISTING,
                                        flags | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(system.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return {kRegInvalidParameter, path + ": a folder, not a file"};
        }
        return Failed(path, error, (access & GENERIC_WRITE) ? kRegWriteFault : kRegReadFault);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info)) {
        return {kRegInvalidParameter, path + ": a device or a pipe, not a file"};
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {kRegInvalidParameter, path + ": a folder, not a file"};
    *out = std::move(file);
    return {};
}

// The path a handle's file has, links resolved; empty when it cannot be told.
std::wstring FinalPath(HANDLE file) {
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(file, final.data(), static_cast<DWORD>(final.size()), 0);
    if (length >= final.size()) {
        final.resize(length + 1);
        length = GetFinalPathNameByHandleW(file, final.data(), static_cast<DWORD>(final.size()), 0);
    }
    if (length == 0 || length >= final.size()) return std::wstring();
    final.resize(length);
    return final;
}

class Win32In : public InFile {
public:
    Win32In(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}
    FileFailure Read(unsigned char* data, std::size_t room, std::size_t* got) override {
        const DWORD chunk = room > (1u << 30) ? (1u << 30) : static_cast<DWORD>(room);
        DWORD read = 0;
        if (!ReadFile(file_.get(), data, chunk, &read, nullptr)) return ReadFailed();
        *got = read;
        return {};
    }
    std::uint64_t SizeHint() const override {
        LARGE_INTEGER size{};
        return GetFileSizeEx(file_.get(), &size) && size.QuadPart > 0 ? static_cast<std::uint64_t>(size.QuadPart) : 0;
    }
    HANDLE get() const { return file_.get(); }
    FileFailure ReadFailed(DWORD error = GetLastError()) const {
        return {CodeOf(error, kRegReadFault), path_ + ": " + SystemMessage(error)};
    }

private:
    UniqueKernelHandle file_;
    std::string path_;
};

void UnmapView(void* view) { UnmapViewOfFile(view); }
using UniqueView = win32::UniqueHandle<win32::NullIsNone<void*, UnmapView>>;

class Win32Out : public OutFile {
public:
    Win32Out(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}
    FileFailure Write(const unsigned char* data, std::size_t size) override {
        while (size > 0) {
            const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!WriteFile(file_.get(), data, chunk, &written, nullptr)) return Failed(path_);
            if (written == 0) return Failed(path_, ERROR_WRITE_FAULT);
            data += written;
            size -= written;
        }
        return {};
    }
    // Written straight from the source's pages, mapped a window at a time:
    // no buffer of ours and no read pass, and by handle, so that the bytes
    // are those of the very file opened (and checked) however its name is
    // changed meanwhile. CopyFileExW works by name, and refuses a source
    // that any handle may write, as the hold of the hive does.
    FileFailure CopyFrom(InFile& in) override {
        auto* from = dynamic_cast<Win32In*>(&in);
        if (!from) return OutFile::CopyFrom(in);
        LARGE_INTEGER at{};
        LARGE_INTEGER end{};
        if (!SetFilePointerEx(from->get(), LARGE_INTEGER{}, &at, FILE_CURRENT) || !GetFileSizeEx(from->get(), &end)) {
            return from->ReadFailed();
        }
        const auto last = static_cast<std::uint64_t>(end.QuadPart);
        auto offset = static_cast<std::uint64_t>(at.QuadPart);
        if (offset >= last) return {};
        UniqueKernelHandle mapping(CreateFileMappingW(from->get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        // A file system that maps no files (some network redirectors): read
        // through a buffer, from where `in` stands still.
        if (!mapping) return OutFile::CopyFrom(in);
        SYSTEM_INFO system{};
        GetSystemInfo(&system);
        // Small enough for a 32-bit process's address space.
        constexpr std::uint64_t kWindow = std::uint64_t{1} << 24;
        while (offset < last) {
            const std::uint64_t start = offset - offset % system.dwAllocationGranularity;
            const std::uint64_t length = std::min(kWindow, last - start);
            UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                                          static_cast<DWORD>(start), static_cast<SIZE_T>(length)));
            if (!view) return from->ReadFailed();
            const auto* bytes = static_cast<const unsigned char*>(view.get()) + (offset - start);
            if (FileFailure failed = Write(bytes, static_cast<std::size_t>(start + length - offset))) return failed;
            offset = start + length;
        }
        // Where a reader would stand, so that the copy reads as "the rest".
        SetFilePointerEx(from->get(), end, nullptr, FILE_BEGIN);
        return {};
    }
    FileFailure Flush() override { return FlushFileBuffers(file_.get()) ? FileFailure{} : Failed(path_); }
    FileFailure Close() override {
        const HANDLE file = file_.release();
        return CloseHandle(file) ? FileFailure{} : Failed(path_);
    }

private:
    UniqueKernelHandle file_;
    std::string path_;
};

// A lock past any real end of file: only programs that take the same lock
// meet it, and reading the hive (for its backup) stays possible.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

class Win32FileLayer : public HiveFileLayer {
public:
    std::string RealPath(const std::string& path) override {
        UniqueKernelHandle file(CreateFileW(SystemPath(path).c_str(), 0,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        const std::wstring final = file ? FinalPath(file.get()) : std::wstring();
        return final.empty() ? path : Utf8FromWide(final);
    }

    FileFailure Hold(const std::string& path) override {
        // Writing is asked for, so that a handle that excludes writers (the
        // kernel's, on a loaded hive) makes this fail; others may read, and
        // the hive may be renamed (ReplaceFileW), but not written meanwhile.
        UniqueKernelHandle file;
        if (FileFailure failed = OpenFile(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          FILE_ATTRIBUTE_NORMAL, &file)) {
            if (failed.code == kRegSharingViolation || failed.code == kRegInvalidParameter) return failed;
            return {failed.code, path + ": cannot open for writing" + failed.message.substr(path.size())};
        }
        OVERLAPPED where{};
        where.OffsetHigh = kLockOffsetHigh;
        if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) {
            const DWORD error = GetLastError();
            if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
                return {kRegLockViolation, path + ": in use by another program (locked)"};
            }
            return Failed(path, error);
        }
        held_ = std::move(file);
        return {};
    }

    FileFailure CreateNew(const std::string& path, std::unique_ptr<OutFile>* out) override {
        const HANDLE file = NewFile(path);
        if (file == INVALID_HANDLE_VALUE) return Failed(path);
        *out = std::make_unique<Win32Out>(file, path);
        return {};
    }

    FileFailure CreateBeside(const std::string& target, std::string* made, std::unique_ptr<OutFile>* out) override {
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            char suffix[40];
            std::snprintf(suffix, sizeof suffix, ".vornex-new-%08lx%02u",
                          static_cast<unsigned long>(GetTickCount() ^ GetCurrentProcessId()), attempt);
            const std::string name = target + suffix;
            const HANDLE file = NewFile(name);
            if (file != INVALID_HANDLE_VALUE) {
                *made = name;
                *out = std::make_unique<Win32Out>(file, name);
                return {};
            }
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
                const FileFailure failure = Failed(target, error);
                return {failure.code, target + ": cannot create a file beside it: " + SystemMessage(error)};
            }
        }
        return {kRegWriteFault, target + ": cannot create a file beside it: every name tried is taken"};
    }

    FileFailure OpenRead(const std::string& path, std::unique_ptr<InFile>* in) override {
        UniqueKernelHandle file;
        if (FileFailure failed = OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          FILE_FLAG_SEQUENTIAL_SCAN, &file)) {
            return failed;
        }
        *in = std::make_unique<Win32In>(file.release(), path);
        return {};
    }

    FileFailure OpenLog(const std::string& path, std::unique_ptr<InFile>* in) override {
        UniqueKernelHandle file;
        // The reparse point itself is opened, never what it leads to.
        if (FileFailure failed = OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, &file)) {
            return failed;
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(file.get(), &info)) return Failed(path, GetLastError(), kRegReadFault);
        if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            return {kRegInvalidParameter, path + ": a link or reparse point, not a plain file of the hive's folder"};
        }
        if (info.nNumberOfLinks != 1) {
            return {kRegInvalidParameter, path + ": a file with other names elsewhere (a hard link)"};
        }
        // What the file system reached must be this very name in this folder:
        // a link that shows as a plain file (a Linux one under Wine) is caught
        // here. Where the system cannot name a file's final path (Wine, past
        // 260 characters), the checks above stand alone.
        std::string folder;
        std::string name;
        SplitPath(path, &folder, &name);
        if (folder.size() > 1 && folder.back() != ':' && (folder.back() == '\\' || folder.back() == '/')) {
            folder.pop_back();
        }
        const std::wstring reached = FinalPath(file.get());
        const std::string realFolder = RealPath(folder.empty() ? "." : folder);
        const std::wstring expected = WideFromUtf8(realFolder + "\\" + name);
        if (!reached.empty() && realFolder.rfind("\\\\?\\", 0) == 0 &&
            CompareStringOrdinal(reached.c_str(), -1, expected.c_str(), -1, TRUE) != CSTR_EQUAL) {
            return {kRegInvalidParameter, path + ": a link or reparse point, not a plain file of the hive's folder"};
        }
        *in = std::make_unique<Win32In>(file.release(), path);
        return {};
    }

    // A second name would share the file with the hive until ReplaceFileW,
    // which takes over the replaced file's identity in ways not documented
    // for a file with two names: the backup stays a copy here.
    FileFailure LinkNew(const std::string& /*path*/, const std::string& to) override {
        return {kRegNotSupported, to + ": the backup is copied"};
    }
    FileFailure Replace(const std::string& from, const std::string& target) override {
        // ReplaceFileW opens the hive for writing itself: the hold ends here.
        held_.reset();
        const std::wstring to = SystemPath(target);
        const std::wstring source = SystemPath(from);
        // The hive's attributes (hidden, system...) on the new file before it
        // takes the place: ReplaceFileW does so on Windows, Wine's does not.
        const DWORD attributes = GetFileAttributesW(to.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            const DWORD kept = attributes & ~FILE_ATTRIBUTE_READONLY;
            SetFileAttributesW(source.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
        }
        if (!ReplaceFileW(to.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                          nullptr)) {
            const DWORD error = GetLastError();
            // Without a backup name, this failure leaves no file under the
            // target's name: the new one, whole, is moved there.
            if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
                !MoveFileExW(source.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                return Failed(target, error);
            }
        }
        // Written through: the replaced file's metadata on the disk too.
        UniqueKernelHandle file(CreateFileW(to.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || !FlushFileBuffers(file.get())) return Failed(target);
        return {};
    }

    FileFailure FlushFolder(const std::string& folder) override {
        UniqueKernelHandle directory(CreateFileW(SystemPath(folder.empty() ? "." : folder).c_str(),
                                                 GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        // Not every Windows or file system flushes a folder; NTFS has the
        // names in its journal once the files themselves are flushed.
        if (!directory || !FlushFileBuffers(directory.get())) {
            const DWORD error = GetLastError();
            if (error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_PARAMETER) {
                return {};
            }
            return Failed(folder, error);
        }
        return {};
    }

    bool Exists(const std::string& path) override {
        return GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    void Remove(const std::string& path) override { DeleteFileW(SystemPath(path).c_str()); }

    std::vector<std::string> FilesIn(const std::string& folder) override {
        std::vector<std::string> names;
        std::wstring pattern = SystemPath(folder.empty() ? "." : folder);
        if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
        pattern += L'*';
        WIN32_FIND_DATAW found{};
        UniqueFind search(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
        if (!search) return names;
        do {
            const std::string name = Utf8FromWide(found.cFileName);
            if (name != "." && name != "..") names.push_back(name);
        } while (FindNextFileW(search.get(), &found));
        return names;
    }

private:
    static HANDLE NewFile(const std::string& path) {
        return CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }

    UniqueKernelHandle held_;
};

}  // namespace

std::unique_ptr<HiveFileLayer> SystemFileLayer() { return std::make_unique<Win32FileLayer>(); }

void SplitPath(const std::string& path, std::string* folder, std::string* name) {
    const std::size_t slash = path.find_last_of("\\/");
    *folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace vornex::hive
