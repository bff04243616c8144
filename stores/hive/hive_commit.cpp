#include "stores/hive/hive_commit.h"

#include <ctime>


namespace vornex::hive {

namespace {

// Copies `from` to the new file `to` and flushes it; on failure nothing of
// `to` is left.
FileFailure CopyNew(HiveFileLayer& files, const std::string& from, const std::string& to, bool log) {
    std::unique_ptr<InFile> in;
    if (FileFailure failed = log ? files.OpenLog(from, &in) : files.OpenRead(from, &in)) return failed;
    std::unique_ptr<OutFile> out;
    if (FileFailure failed = files.CreateNew(to, &out)) return failed;
    FileFailure failed = out->CopyFrom(*in);
    if (!failed) failed = out->Flush();
    if (!failed) failed = out->Close();
    if (failed) {
        out.reset();
        files.Remove(to);
    }
    return failed;
}

std::string Stamp() {
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    if (const std::tm* local = std::localtime(&now)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", local);
    return stamp;
}

}  // namespace

FileFailure OutFile::CopyFrom(InFile& in) {
    std::vector<unsigned char> buffer(1 << 20);
    for (;;) {
        std::size_t got = 0;
        if (FileFailure failed = in.Read(buffer.data(), buffer.size(), &got)) return failed;
        if (got == 0) return {};
        if (FileFailure failed = Write(buffer.data(), got)) return failed;
    }
}

FileFailure ReplaceHiveFile(HiveFileLayer& files, const std::string& path, const std::vector<unsigned char>& bytes) {
    const std::string target = files.RealPath(path);
    std::string temporary;
    std::unique_ptr<OutFile> out;
    if (FileFailure failed = files.CreateBeside(target, &temporary, &out)) return failed;
    // On the disk before it takes the hive's place: a crash leaves one whole
    // file or the other.
    FileFailure failed = out->Write(bytes.data(), bytes.size());
    if (!failed) failed = out->Flush();
    if (!failed) failed = out->Close();
    if (!failed) failed = files.Replace(temporary, target);
    if (failed) {
        out.reset();
        files.Remove(temporary);
        return failed;
    }
    std::string folder;
    std::string name;
    SplitPath(target, &folder, &name);
    if (FileFailure unflushed = files.FlushFolder(folder)) {
        return {unflushed.code, (folder.empty() ? std::string(".") : folder) +
                                    ": the new hive is in place but its folder could not be flushed: " +
                                    unflushed.message};
    }
    return {};
}

FileFailure WriteHiveBackup(HiveFileLayer& files, const std::string& path, const std::vector<std::string>& logs,
                            std::string* backupPath) {
    const std::string target = files.RealPath(path);
    std::string folder;
    std::string name;
    SplitPath(target, &folder, &name);
    const std::string base = target + ".vornex-backup-" + Stamp();
    std::string backup = base;
    for (int n = 2; files.Exists(backup) && n < 1000; ++n) backup = base + "-" + std::to_string(n);
    FileFailure linked = files.LinkNew(target, backup);
    if (linked.code == kRegNotSupported) linked = CopyNew(files, target, backup, false);
    if (linked) return linked;
    // The logs go with it, named after the backup, so that the set can be put
    // back whole (or read as it was: vornex-cli --hive BACKUP).
    std::vector<std::string> written = {backup};
    FileFailure failed;
    for (const std::string& log : logs) {
        const std::string copy = backup + log.substr(name.size());
        failed = CopyNew(files, folder + log, copy, true);
        if (failed) break;
        written.push_back(copy);
    }
    if (!failed) failed = files.FlushFolder(folder);
    if (failed) {
        for (const std::string& done : written) files.Remove(done);
        return failed;
    }
    *backupPath = backup;
    return {};
}

}  // namespace vornex::hive
