#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/reg_result.h"

// The few file operations a hive's commit and backup need, one implementation
// per system (hive_file_posix.cpp, hive_file_win32.cpp). Paths are UTF-8.
namespace vornex::hive {

// A failed file operation: the registry's code, and one line for the user
// that names the file.
struct FileFailure {
    RegResult code = kRegOk;
    std::string message;

    explicit operator bool() const { return code != kRegOk; }
};

class InFile;

// A file being written, new or copied; closed (without a flush) when it goes.
class OutFile {
public:
    virtual ~OutFile() = default;
    virtual FileFailure Write(const unsigned char* data, std::size_t size) = 0;
    // The rest of `in`, to its end: in the kernel where the system can
    // (copy_file_range; on Windows from `in`'s mapped pages), else through a
    // buffer.
    virtual FileFailure CopyFrom(InFile& in);
    // On the disk, with what the file system needs to find it again.
    virtual FileFailure Flush() = 0;
    virtual FileFailure Close() = 0;
};

// A file read from the start, in pieces.
class InFile {
public:
    virtual ~InFile() = default;
    // Up to `room` bytes; 0 at the end.
    virtual FileFailure Read(unsigned char* data, std::size_t room, std::size_t* got) = 0;
    // The size the file had when opened, so that a reader can make room for
    // it at once; only a hint: reading goes on to the end whatever it says.
    virtual std::uint64_t SizeHint() const = 0;
};

class HiveFileLayer {
public:
    virtual ~HiveFileLayer() = default;
    // The file a path stands for: a link's target, which is the file written.
    virtual std::string RealPath(const std::string& path) = 0;
    // Opens the hive for change and holds it, locked, until the layer goes or
    // the hive is replaced. Refused before anything is written when the medium
    // is read-only, another program holds the lock, or (Windows) has it open
    // in a way that excludes writing, as a loaded hive is.
    virtual FileFailure Hold(const std::string& path) = 0;
    // A new file that no one else has, never over an existing one.
    virtual FileFailure CreateNew(const std::string& path, std::unique_ptr<OutFile>* out) = 0;
    // A new, uniquely named file beside `target`, on its file system.
    virtual FileFailure CreateBeside(const std::string& target, std::string* made,
                                     std::unique_ptr<OutFile>* out) = 0;
    virtual FileFailure OpenRead(const std::string& path, std::unique_ptr<InFile>* in) = 0;
    // A hive's transaction log, read only as a plain file of the hive's own
    // folder: a link, a junction or any reparse point, a file with other names
    // (a hard link), a folder or a device is refused with kRegInvalidParameter
    // and never read, whatever it leads to.
    virtual FileFailure OpenLog(const std::string& path, std::unique_ptr<InFile>* in) = 0;
    // `from` takes the place of `target` in one step, keeping target's
    // permissions (and on Windows its security and attributes).
    virtual FileFailure Replace(const std::string& from, const std::string& target) = 0;
    // A second name `to` (new, never over an existing file) for the file at
    // `path`: a backup that costs no copy, since a commit never writes into
    // the file it replaces. kRegNotSupported where the file system or the
    // system has no such names; the caller copies instead.
    virtual FileFailure LinkNew(const std::string& path, const std::string& to) = 0;
    // What a folder holds (names only) made lasting.
    virtual FileFailure FlushFolder(const std::string& folder) = 0;
    virtual bool Exists(const std::string& path) = 0;
    virtual void Remove(const std::string& path) = 0;
    // Every name a folder holds, of any kind (a log that is a link or a
    // folder must still be found, to be refused and said).
    virtual std::vector<std::string> FilesIn(const std::string& folder) = 0;
};

// The layer of the system this is built for.
std::unique_ptr<HiveFileLayer> SystemFileLayer();

// A path's folder (with its separator, "" for none) and its last name.
void SplitPath(const std::string& path, std::string* folder, std::string* name);

}  // namespace vornex::hive
