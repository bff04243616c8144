#include "stores/hive/log_replay.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "stores/hive/base_block.h"
#include "stores/hive/dirty_vector.h"
#include "stores/hive/log_entry.h"
#include "stores/hive/regf_bin.h"

namespace vornex::hive {

namespace {

using Bytes = std::vector<unsigned char>;

// The image never grows past this (a hive's bins are limited to 2 GiB), and
// it grows at all only as far as the pages written from the logs can fill.
constexpr std::uint64_t kMaxImageSize = 0x80000000ull;

std::string Num(std::uint64_t v) { return std::to_string(v); }

// A log as given, and what its header makes of it.
struct Log {
    enum class Kind { kAbsent, kUnusable, kNew, kOld };
    const Bytes* bytes = nullptr;
    std::string name;
    BaseBlock header;
    Kind kind = Kind::kAbsent;
    std::string problem;  // why kUnusable

    std::uint32_t seq() const { return header.primarySeq; }
};

Log Classify(const std::optional<Bytes>& data, const std::string& name) {
    Log log;
    log.name = name;
    if (!data || data->empty()) return log;
    log.bytes = &*data;
    log.header = ParseBaseBlock(data->data(), data->size());
    const BaseBlock& h = log.header;
    log.kind = Log::Kind::kUnusable;
    if (!h.hasSignature) {
        log.problem = "no 'regf' header";
    } else if (!h.complete) {
        log.problem = "shorter than its 512-byte header";
    } else if (!h.checksumOk) {
        log.problem = "bad header checksum";
    } else if (h.primarySeq != h.secondarySeq) {
        log.problem = "header sequence numbers differ (" + Num(h.primarySeq) + "/" + Num(h.secondarySeq) + ")";
    } else if (h.fileType == kFileNewLog) {
        log.kind = Log::Kind::kNew;
    } else if (h.fileType == kFileOldLog || h.fileType == kFileOldLogVeryOld) {
        log.kind = Log::Kind::kOld;
    } else {
        log.problem = "file type " + Num(h.fileType) + " is not a log's";
    }
    return log;
}

// What a replay will make of the image, worked out in full before a byte of
// it is written (so that the image is grown once, and left as it was when
// nothing applies).
struct Plan {
    std::uint64_t length;         // the image's length, once grown
    std::uint64_t baseLength;     // max(primary length, 4096)
    std::uint64_t pageBytes = 0;  // bytes of log pages to be written
};

// Plans the image's growth to `length` bytes, if it is shorter: allowed when
// the pages planned so far plus `morePageBytes` could fill the growth.
bool PlanGrowth(Plan& plan, std::uint64_t length, std::uint64_t morePageBytes, std::string* why) {
    if (length <= plan.length) return true;
    const std::uint64_t limit =
        std::min(kMaxImageSize, plan.baseLength + plan.pageBytes + morePageBytes);
    if (length > limit) {
        *why = "hive bins size " + Hex(length - kBaseBlockSize) +
               " is more than the logs' pages can fill";
        return false;
    }
    plan.length = length;
    return true;
}

// Grows the image as planned (zeros), in one allocation.
bool Realize(Bytes& image, const Plan& plan, std::string* why) {
    if (plan.length <= image.size()) return true;
    try {
        image.resize(static_cast<std::size_t>(plan.length), 0);
    } catch (const std::exception&) {
        *why = "no memory to grow the image to " + Num(plan.length) + " bytes";
        return false;
    }
    return true;
}

// Writes a page from a log into the image's bins, grown as planned.
void WritePage(Bytes& image, std::uint32_t offset, const unsigned char* data, std::size_t size) {
    std::memcpy(image.data() + kBaseBlockSize + offset, data, size);
}

// ---- New format: HvLE log entries ------------------------------------------

struct Run {
    const Log* log = nullptr;
    std::vector<LogEntry> entries;  // to apply, from the first one on
    std::string stop;               // set when an entry that does not fit ended the run
};

// Plans a log's entries in order, the first carrying the log's own number,
// each next one the number after; stops at the first one that is missing or
// does not fit.
Run PlanNewLog(Plan& plan, const Log& log) {
    Run run;
    run.log = &log;
    const Bytes& bytes = *log.bytes;
    std::size_t pos = kLogHeaderSize;
    std::uint32_t expected = log.seq();
    while (pos < bytes.size()) {
        LogEntry e;
        std::string why;
        const EntryStatus status = ReadLogEntry(bytes.data() + pos, bytes.size() - pos, expected, &e, &why);
        if (status == EntryStatus::kEnd) break;
        if (status == EntryStatus::kBad ||
            !PlanGrowth(plan, kBaseBlockSize + std::uint64_t{e.hiveBinsSize}, e.pageBytes, &why)) {
            run.stop = log.name + " entry " + Num(run.entries.size() + 1) + " (at " + Hex(pos) + "): " + why +
                       ": replay of " + log.name + " stopped";
            break;
        }
        plan.pageBytes += e.pageBytes;
        pos += e.size;
        run.entries.push_back(std::move(e));
        ++expected;
    }
    return run;
}

// "entry 7" or "entries 7-9".
std::string EntryRange(std::uint32_t first, std::size_t count) {
    if (count == 1) return "entry " + Num(first);
    return "entries " + Num(first) + "-" + Num(static_cast<std::uint32_t>(first + count - 1));
}

// New format. With a valid primary base block: start with the log whose
// header sequence number is the lower one, skip a log whose number is below
// the primary's secondary one, and go on to the other only if it continues
// the sequence. A log whose number is above the primary's (a partial
// reconcile already wrote the entries before it into the primary) is applied
// from its own number, as Windows does. With a damaged base block: the newest
// log alone, its header becoming the base block.
bool RecoverNew(Bytes& image, Plan& plan, const BaseBlock& primary, std::vector<const Log*> logs,
                LoadedHive* out, std::vector<std::string>* notes) {
    if (logs.size() == 2 && SeqBefore(logs[1]->seq(), logs[0]->seq())) std::swap(logs[0], logs[1]);
    if (!primary.valid && logs.size() == 2) {
        notes->push_back(logs[0]->name + " not used: with a damaged base block only the newest log applies");
        logs.erase(logs.begin());
    }
    std::vector<Run> runs;
    bool started = false;
    std::uint32_t expected = 0;
    for (const Log* log : logs) {
        if (primary.valid && !started && SeqBefore(log->seq(), primary.secondarySeq)) {
            notes->push_back(log->name + " skipped: its sequence " + Num(log->seq()) +
                             " is below the hive's " + Num(primary.secondarySeq));
            continue;
        }
        if (started && log->seq() != expected) {
            notes->push_back(log->name + " (sequence " + Num(log->seq()) +
                             ") does not continue from " + Num(expected));
            break;
        }
        const bool ahead = primary.valid && !started && log->seq() != primary.secondarySeq;
        Run run = PlanNewLog(plan, *log);
        started = true;
        expected = run.entries.empty() ? log->seq() : run.entries.back().seq + 1;
        if (!run.entries.empty()) {
            notes->push_back(log->name + ": " + EntryRange(log->seq(), run.entries.size()) + " applied" +
                             (ahead ? " (the log starts past the hive's " +
                                          Num(primary.secondarySeq) + ")"
                                    : std::string()));
        } else if (run.stop.empty()) {
            notes->push_back(log->name + ": no entries");
        }
        // A log ends at an entry that does not fit, even if valid ones follow;
        // the other log is still used if it takes the sequence up from there.
        if (!run.stop.empty()) notes->push_back(run.stop);
        if (!run.entries.empty()) runs.push_back(std::move(run));
    }
    if (runs.empty()) return false;
    std::string why;
    if (!Realize(image, plan, &why)) {
        notes->push_back(why);
        return false;
    }
    for (const Run& run : runs) {
        for (const LogEntry& entry : run.entries) {
            for (const LogEntry::Page& page : entry.pages) WritePage(image, page.offset, page.data, page.size);
        }
        out->logsApplied.push_back(run.log->name);
    }
    const LogEntry& last = runs.back().entries.back();
    SealBaseBlockFromLog(image.data(), runs.back().log->bytes->data(), !primary.valid, last.seq, last.hiveBinsSize,
                         last.ktmLocked);
    return true;
}

// ---- Old format: a dirty vector (DIRT) and 512-byte pages ------------------

// The first hive bin's timestamp, when the primary has a first bin.
std::optional<std::uint64_t> FirstBinTimestamp(const Bytes& primary) {
    if (primary.size() < kBaseBlockSize + Bin::kHeaderSize) return std::nullopt;
    if (std::memcmp(primary.data() + kBaseBlockSize, "hbin", 4) != 0) return std::nullopt;
    return BinTimestamp(primary.data() + kBaseBlockSize);
}

// Whether an old-format log belongs to this write of the hive: its timestamp
// is the primary's. When the primary's base block is damaged, the timestamp
// still read there counts, and so does the first bin's (the backup copy of the
// last complete write, which a crash during the write leaves older than the
// log's).
bool TimestampMatches(const Log& log, const BaseBlock& primary,
                      const std::optional<std::uint64_t>& binTimestamp) {
    const std::uint64_t ts = log.header.timestamp;
    if (primary.valid) return ts == primary.timestamp;
    if (primary.hasSignature && primary.complete && ts == primary.timestamp) return true;
    return binTimestamp && ts >= *binTimestamp;
}

// Old format: one log is applied, the one that belongs to this write (the
// newer one first when both look so); a log that fails is passed over for the
// other, as Windows switches logs after an error.
bool RecoverOld(Bytes& image, const Plan& plan, const BaseBlock& primary,
                std::vector<const Log*> logs, LoadedHive* out, std::vector<std::string>* notes) {
    if (logs.size() == 2 && SeqBefore(logs[0]->seq(), logs[1]->seq())) std::swap(logs[0], logs[1]);
    // Read before anything is written: a log that fails writes nothing.
    const std::optional<std::uint64_t> binTimestamp = FirstBinTimestamp(image);
    for (const Log* log : logs) {
        if (!TimestampMatches(*log, primary, binTimestamp)) {
            notes->push_back(log->name + " skipped: its timestamp is not the hive's");
            continue;
        }
        const Bytes& bytes = *log->bytes;
        const std::uint32_t hiveBins = log->header.hiveBinsSize;
        Plan grown = plan;
        std::string why;
        const std::optional<std::vector<DirtyPage>> dirty =
            ReadDirtyVector(bytes.data() + kLogHeaderSize, bytes.size() - kLogHeaderSize, hiveBins, &why);
        if (!dirty ||
            !PlanGrowth(grown, kBaseBlockSize + std::uint64_t{hiveBins}, dirty->size() * kDirtyPageSize, &why) ||
            !Realize(image, grown, &why)) {
            notes->push_back(log->name + " unusable: " + why);
            continue;
        }
        for (const DirtyPage& page : *dirty) WritePage(image, page.offset, page.data, kDirtyPageSize);
        notes->push_back(log->name + ": " + Num(dirty->size()) + " dirty pages applied");
        out->logsApplied.push_back(log->name);
        SealBaseBlockFromLog(image.data(), bytes.data(), !primary.valid, log->seq(), hiveBins,
                             (log->header.flags & 1u) != 0);
        return true;
    }
    return false;
}

std::string DirtyReason(const BaseBlock& bb) {
    if (!bb.hasSignature) return "no 'regf' base block";
    if (!bb.complete) return "base block cut short";
    if (!bb.checksumOk) return "dirty (bad base-block checksum)";
    return "dirty (sequence numbers " + Num(bb.primarySeq) + "/" + Num(bb.secondarySeq) + ")";
}

}  // namespace

const char* RecoveryName(Recovery recovery) {
    switch (recovery) {
        case Recovery::kClean: return "clean";
        case Recovery::kReplayed: return "replayed";
        case Recovery::kDirtyNoUsableLog: return "dirty, no usable log";
        case Recovery::kBaseBlockFromLog: return "base block from log";
    }
    return "?";
}

LoadedHive Recover(Bytes primary, const std::optional<Bytes>& log1, const std::optional<Bytes>& log2,
                   const std::string& name1, const std::string& name2) {
    LoadedHive out;
    const BaseBlock bb = ParseBaseBlock(primary.data(), primary.size());
    const Log logs[2] = {Classify(log1, name1), Classify(log2, name2)};
    const bool anyLog = logs[0].kind != Log::Kind::kAbsent || logs[1].kind != Log::Kind::kAbsent;

    if (!bb.needsRecovery()) {
        out.recovery = Recovery::kClean;
        out.note = "clean (sequence numbers " + Num(bb.primarySeq) + "/" + Num(bb.secondarySeq) + ")";
        if (anyLog) out.note += ": logs not applied";
        out.image = std::move(primary);
        return out;
    }

    std::vector<std::string> notes{DirtyReason(bb)};
    std::vector<const Log*> newLogs;
    std::vector<const Log*> oldLogs;
    for (const Log& log : logs) {
        if (log.kind == Log::Kind::kNew) newLogs.push_back(&log);
        if (log.kind == Log::Kind::kOld) oldLogs.push_back(&log);
        if (log.kind == Log::Kind::kUnusable) notes.push_back(log.name + " unusable: " + log.problem);
    }

    Plan plan{primary.size(), std::max<std::uint64_t>(primary.size(), kBaseBlockSize)};
    bool applied = false;
    if (!newLogs.empty()) {
        applied = RecoverNew(primary, plan, bb, newLogs, &out, &notes);
    } else if (!oldLogs.empty()) {
        applied = RecoverOld(primary, plan, bb, oldLogs, &out, &notes);
    }

    if (applied) {
        out.recovery = bb.valid ? Recovery::kReplayed : Recovery::kBaseBlockFromLog;
        if (!bb.valid) notes.push_back("base block rebuilt from " + out.logsApplied.back());
    } else {
        out.recovery = Recovery::kDirtyNoUsableLog;
        if (!anyLog) notes.push_back("no log beside it");
        notes.push_back("image is the primary as is, possibly stale");
    }
    for (const std::string& note : notes) out.note += (out.note.empty() ? "" : "; ") + note;
    out.image = std::move(primary);
    return out;
}

}  // namespace vornex::hive
