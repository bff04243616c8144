#include "stores/hive/hive_load.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <vector>

#include "stores/hive/base_block.h"
#include "stores/hive/hive_logs.h"
#include "stores/hive/image_buffer.h"

namespace vornex::hive {

namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFFull + kBaseBlockSize;  // no hive is larger

// Reads `in` to its end; past `limit` bytes it fails with tooLarge.
FileFailure ReadAll(InFile& in, const std::string& path, std::uint64_t limit, const FileFailure& tooLarge, Bytes* out) {
    out->clear();
    try {
        if (const std::uint64_t size = in.SizeHint(); size <= limit) {
            ReserveImage(out, static_cast<std::size_t>(size));
        }
        Bytes buffer(1 << 20);
        for (;;) {
            std::size_t got = 0;
            if (FileFailure failed = in.Read(buffer.data(), buffer.size(), &got)) return failed;
            if (got == 0) return {};
            if (out->size() + got > limit) return tooLarge;
            if (out->capacity() - out->size() < got) {
                // Past the hint (the file grew, or had none): doubling keeps
                // the copies to about the file's size.
                ReserveImage(out, std::max(2 * out->size(), out->size() + got + (std::size_t{8} << 20)));
            }
            out->insert(out->end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
        }
    } catch (const std::exception&) {
        return {kRegNotEnoughMemory, path + ": no memory to read it"};
    }
}

FileFailure ReadWhole(HiveFileLayer& files, const std::string& path, Bytes* out) {
    std::unique_ptr<InFile> in;
    if (FileFailure failed = files.OpenRead(path, &in)) return failed;
    return ReadAll(*in, path, kMaxFileSize, {kRegBadDatabase, path + ": too large for a registry hive"}, out);
}

// A log, read only when the hive needs it, only as a plain file of its
// folder, and only up to the size a real one can have.
FileFailure ReadLog(HiveFileLayer& files, const std::string& path, std::uint64_t hiveSize, Bytes* out) {
    std::unique_ptr<InFile> in;
    if (FileFailure failed = files.OpenLog(path, &in)) return failed;
    const std::uint64_t limit = LogSizeLimit(hiveSize);
    if (in->SizeHint() > limit) {
        return {kRegInvalidParameter, path + ": " + std::to_string(in->SizeHint()) +
                                          " bytes, larger than any log of this hive can be (" +
                                          std::to_string(limit) + ")"};
    }
    return ReadAll(*in, path, limit, {kRegInvalidParameter, path + ": grew past the size a log can have"}, out);
}

}  // namespace

FileFailure LoadHive(HiveFileLayer& files, const std::string& path, LoadedHive* out) {
    Bytes primary;
    if (FileFailure failed = ReadWhole(files, path, &primary)) return failed;
    const BaseBlock header = ParseBaseBlock(primary.data(), primary.size());

    std::optional<Bytes> logs[2];
    std::string names[2];
    std::string unreadable;
    std::vector<std::string> read;
    std::vector<LoadedHive::RefusedLog> refused;
    if (header.needsRecovery()) {  // Windows neither reads nor needs a clean hive's logs
        std::string folder;
        std::string name;
        // The logs lie beside the file a link points at: those Windows wrote,
        // and those a backup copies.
        SplitPath(files.RealPath(path), &folder, &name);
        const LogNames found = FindLogs(name, files.FilesIn(folder));
        names[0] = found.first;
        names[1] = found.second;
        for (int i = 0; i < 2; ++i) {
            if (names[i].empty()) continue;
            Bytes bytes;
            if (FileFailure failed = ReadLog(files, folder + names[i], primary.size(), &bytes)) {
                // Refused for what it is, or unreadable: the hive as without it.
                if (failed.code == kRegInvalidParameter) {
                    // Named beside the hive as it was given, the way the user knows it.
                    std::string givenFolder;
                    std::string givenName;
                    SplitPath(path, &givenFolder, &givenName);
                    const std::string where = folder + names[i];
                    const std::string why = failed.message.rfind(where, 0) == 0 ? failed.message.substr(where.size())
                                                                                  : ": " + failed.message;
                    refused.push_back({names[i], givenFolder + names[i] + why});
                } else {
                    unreadable += "; " + names[i] + " unreadable: " + failed.message;
                }
            } else {
                logs[i] = std::move(bytes);
                read.push_back(names[i]);
            }
        }
    }
    *out = Recover(std::move(primary), logs[0], logs[1], names[0].empty() ? "LOG1" : names[0],
                   names[1].empty() ? "LOG2" : names[1]);
    out->note += unreadable;
    for (const LoadedHive::RefusedLog& log : refused) out->note += "; not read: " + log.why;
    out->logsRead = std::move(read);
    out->logsRefused = std::move(refused);
    if (out->recovery == Recovery::kBaseBlockFromLog) return {};
    if (!header.hasSignature) {
        return {kRegBadDatabase, path + ": not a registry hive (no 'regf' signature" +
                                     std::string(logs[0] || logs[1] ? ", and no usable log to rebuild it)" : ")")};
    }
    if (header.complete && (header.fileType == kFileNewLog || header.fileType == kFileOldLog ||
                            header.fileType == kFileOldLogVeryOld)) {
        return {kRegBadDatabase,
                path + ": a transaction log (file type " + std::to_string(header.fileType) + "), not a registry hive"};
    }
    return {};
}

}  // namespace vornex::hive
