#include "stores/hive/log_replay.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "stores/hive/base_block.h"
#include "stores/hive/marvin32.h"

namespace vornex::hive {

namespace {

using Bytes = std::vector<unsigned char>;

// The image never grows past this (a hive's bins are limited to 2 GiB), and
// it grows at all only as far as the pages written from the logs can fill.
constexpr std::uint64_t kMaxImageSize = 0x80000000ull;

constexpr std::size_t kEntryHeaderSize = 40;  // HvLE header, before the page references
constexpr std::size_t kEntryAlignment = 512;  // entries start at 512-byte boundaries
constexpr std::size_t kNewPageUnit = 4096;    // new-format page sizes are multiples of this
constexpr std::size_t kOldPageSize = 512;     // one bit of an old-format dirty vector

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
        log.problem = "header sequence numbers differ (" + Num(h.primarySeq) + "/" +
                      Num(h.secondarySeq) + ")";
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

// ---- New format: HvLE log entries ------------------------------------------

struct Entry {
    std::size_t offset = 0;  // in the log
    std::uint32_t size = 0;
    std::uint32_t flags = 0;
    std::uint32_t seq = 0;
    std::uint32_t hiveBinsSize = 0;
    std::uint32_t pageCount = 0;
    std::uint64_t pageBytes = 0;
};

// An HvLE entry's fields where they lie: the one reader of its layout, for
// the check (ReadEntry) and the replay (ApplyRun) alike. Nothing is read
// through it before ReadEntry has bounded the entry.
struct EntryView {
    struct Page {
        std::uint32_t offset;  // in the hive bins
        std::uint32_t size;
    };
    const unsigned char* p;

    std::uint32_t size() const { return ReadU32(p + 4); }
    std::uint32_t flags() const { return ReadU32(p + 8); }
    std::uint32_t seq() const { return ReadU32(p + 12); }
    std::uint32_t hiveBinsSize() const { return ReadU32(p + 16); }
    std::uint32_t pageCount() const { return ReadU32(p + 20); }
    std::uint64_t dataHash() const { return ReadU64(p + 24); }
    std::uint64_t headerHash() const { return ReadU64(p + 32); }
    Page page(std::uint32_t i) const {
        const unsigned char* ref = p + kEntryHeaderSize + 8 * std::size_t{i};
        return {ReadU32(ref), ReadU32(ref + 4)};
    }
    // The pages' bytes, one after another, after the page references.
    const unsigned char* pageData() const { return p + kEntryHeaderSize + 8 * std::size_t{pageCount()}; }
};

enum class EntryStatus { kOk, kEnd, kBad };

// Reads and checks the entry at `pos` (pos <= log size). kEnd: no entry there
// (zeros, padding, the end of the file). kBad: an entry that does not fit,
// with the reason in *why. Nothing is trusted before it is bounded.
EntryStatus ReadEntry(const Bytes& log, std::size_t pos, std::uint32_t expectedSeq, Entry* e,
                      std::string* why) {
    const std::size_t avail = log.size() - pos;
    const unsigned char* p = log.data() + pos;
    if (avail < kEntryHeaderSize || std::memcmp(p, "HvLE", 4) != 0) return EntryStatus::kEnd;
    const EntryView view{p};
    e->offset = pos;
    e->size = view.size();
    e->flags = view.flags();
    e->seq = view.seq();
    e->hiveBinsSize = view.hiveBinsSize();
    e->pageCount = view.pageCount();
    if (e->size < kEntryAlignment || e->size % kEntryAlignment != 0) {
        *why = "size " + Hex(e->size) + " is not a multiple of 512";
        return EntryStatus::kBad;
    }
    if (e->size > avail) {
        *why = "size " + Hex(e->size) + " runs past the end of the log";
        return EntryStatus::kBad;
    }
    if (Marvin32(p, 32, kLogEntrySeed) != view.headerHash()) {
        *why = "header hash mismatch";
        return EntryStatus::kBad;
    }
    if (Marvin32(p + kEntryHeaderSize, e->size - kEntryHeaderSize, kLogEntrySeed) != view.dataHash()) {
        *why = "hash mismatch";
        return EntryStatus::kBad;
    }
    if (e->seq != expectedSeq) {
        *why = "sequence " + Num(e->seq) + ", expected " + Num(expectedSeq);
        return EntryStatus::kBad;
    }
    if (e->hiveBinsSize == 0 || e->hiveBinsSize % kHiveBinAlignment != 0) {
        *why = "hive bins size " + Hex(e->hiveBinsSize) + " is not a multiple of 4096";
        return EntryStatus::kBad;
    }
    if (e->pageCount == 0) {
        *why = "no dirty pages";
        return EntryStatus::kBad;
    }
    const std::uint64_t refsEnd = kEntryHeaderSize + std::uint64_t{8} * e->pageCount;
    if (refsEnd > e->size) {
        *why = "page count " + Num(e->pageCount) + " does not fit the entry";
        return EntryStatus::kBad;
    }
    std::uint64_t dataEnd = refsEnd;
    for (std::uint32_t i = 0; i < e->pageCount; ++i) {
        const auto [offset, size] = view.page(i);
        if (size == 0 || size % kNewPageUnit != 0) {
            *why = "page " + Num(i + 1) + " size " + Hex(size) + " is not a multiple of 4096";
            return EntryStatus::kBad;
        }
        if (std::uint64_t{offset} + size > e->hiveBinsSize) {
            *why = "page " + Num(i + 1) + " at " + Hex(offset) + " lies past the hive bins size " +
                   Hex(e->hiveBinsSize);
            return EntryStatus::kBad;
        }
        dataEnd += size;
        if (dataEnd > e->size) {
            *why = "pages run past the entry's size";
            return EntryStatus::kBad;
        }
    }
    e->pageBytes = dataEnd - refsEnd;
    return EntryStatus::kOk;
}

struct Run {
    const Log* log = nullptr;
    std::uint32_t applied = 0;  // entries, from the first one on
    Entry last;
    std::string stop;  // set when an entry that does not fit ended the run
};

// Plans a log's entries in order, the first carrying `firstSeq`, each next one
// the number after; stops at the first one that is missing or does not fit.
Run PlanNewLog(Plan& plan, const Log& log, std::uint32_t firstSeq) {
    Run run;
    run.log = &log;
    const Bytes& bytes = *log.bytes;
    std::size_t pos = kLogHeaderSize;
    std::uint32_t expected = firstSeq;
    while (pos < bytes.size()) {
        Entry e;
        std::string why;
        const EntryStatus status = ReadEntry(bytes, pos, expected, &e, &why);
        if (status == EntryStatus::kEnd) break;
        if (status == EntryStatus::kBad ||
            !PlanGrowth(plan, kBaseBlockSize + std::uint64_t{e.hiveBinsSize}, e.pageBytes, &why)) {
            run.stop = log.name + " entry " + Num(std::uint64_t{run.applied} + 1) + " (at " +
                       Hex(pos) + "): " + why + ": replay of " + log.name + " stopped";
            break;
        }
        plan.pageBytes += e.pageBytes;
        ++run.applied;
        run.last = e;
        pos += e.size;
        ++expected;
    }
    return run;
}

// Writes the pages of a run's entries, checked when planned, into the image
// grown as planned.
void ApplyRun(Bytes& image, const Run& run) {
    const Bytes& log = *run.log->bytes;
    std::size_t pos = kLogHeaderSize;
    for (std::uint32_t n = 0; n < run.applied; ++n) {
        const EntryView entry{log.data() + pos};
        const unsigned char* data = entry.pageData();
        for (std::uint32_t i = 0; i < entry.pageCount(); ++i) {
            const EntryView::Page page = entry.page(i);
            std::memcpy(image.data() + kBaseBlockSize + page.offset, data, page.size);
            data += page.size;
        }
        pos += entry.size();
    }
}

// "entry 7" or "entries 7-9".
std::string EntryRange(std::uint32_t first, std::uint32_t count) {
    if (count == 1) return "entry " + Num(first);
    return "entries " + Num(first) + "-" + Num(static_cast<std::uint32_t>(first + count - 1));
}

// Puts a log's header (the partial base block it carries) at the start of the
// image, which holds at least 4096 bytes. When the primary's own base block was
// damaged, the rest of the 4096 bytes is cleared too.
void HeaderFromLog(Bytes& image, const Log& log, bool rebuild) {
    std::memcpy(image.data(), log.bytes->data(), kChecksumOffset);
    if (rebuild) std::fill(image.begin() + kLogHeaderSize, image.begin() + kBaseBlockSize, 0);
}

std::string Join(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& part : parts) {
        if (part.empty()) continue;
        if (!out.empty()) out += "; ";
        out += part;
    }
    return out;
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
        Run run = PlanNewLog(plan, *log, log->seq());
        started = true;
        expected = run.applied ? run.last.seq + 1 : log->seq();
        if (run.applied) {
            notes->push_back(log->name + ": " + EntryRange(log->seq(), run.applied) + " applied" +
                             (ahead ? " (the log starts past the hive's " +
                                          Num(primary.secondarySeq) + ")"
                                    : std::string()));
            runs.push_back(run);
        } else if (run.stop.empty()) {
            notes->push_back(log->name + ": no entries");
        }
        // A log ends at an entry that does not fit, even if valid ones follow;
        // the other log is still used if it takes the sequence up from there.
        if (!run.stop.empty()) notes->push_back(run.stop);
    }
    if (runs.empty()) return false;
    std::string why;
    if (!Realize(image, plan, &why)) {
        notes->push_back(why);
        return false;
    }
    for (const Run& run : runs) {
        ApplyRun(image, run);
        out->logsApplied.push_back(run.log->name);
        out->entriesApplied += run.applied;
    }
    const Run& last = runs.back();
    HeaderFromLog(image, *last.log, !primary.valid);
    SealBaseBlock(image.data(), last.last.seq, last.last.hiveBinsSize, (last.last.flags & 1u) != 0);
    out->sequence = last.last.seq;
    out->pagesApplied = plan.pageBytes / kNewPageUnit;
    return true;
}

// ---- Old format: a dirty vector (DIRT) and 512-byte pages ------------------

// The first hive bin's timestamp, when the primary has a first bin.
std::optional<std::uint64_t> FirstBinTimestamp(const Bytes& primary) {
    if (primary.size() < kBaseBlockSize + 32) return std::nullopt;
    if (std::memcmp(primary.data() + kBaseBlockSize, "hbin", 4) != 0) return std::nullopt;
    return ReadU64(primary.data() + kBaseBlockSize + kHiveBinTimestampOffset);
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

bool ApplyOldLog(Bytes& image, Plan plan, const Log& log, std::uint64_t* pages, std::string* why) {
    const Bytes& bytes = *log.bytes;
    const std::uint32_t hiveBins = log.header.hiveBinsSize;
    if (hiveBins == 0 || hiveBins % kHiveBinAlignment != 0) {
        *why = "hive bins size " + Hex(hiveBins) + " is not a multiple of 4096";
        return false;
    }
    const std::size_t bitmapBytes = hiveBins / 4096;  // one bit per 512 bytes
    const std::uint64_t bitmapEnd = kLogHeaderSize + 4 + std::uint64_t{bitmapBytes};
    if (bytes.size() < bitmapEnd || std::memcmp(bytes.data() + kLogHeaderSize, "DIRT", 4) != 0) {
        *why = bytes.size() < bitmapEnd ? "dirty vector cut short" : "no dirty vector (DIRT)";
        return false;
    }
    const unsigned char* bitmap = bytes.data() + kLogHeaderSize + 4;
    std::uint64_t count = 0;
    for (std::size_t i = 0; i < bitmapBytes; ++i) {
        for (unsigned v = bitmap[i]; v; v &= v - 1) ++count;
    }
    const std::uint64_t pagesStart = (bitmapEnd + kOldPageSize - 1) / kOldPageSize * kOldPageSize;
    if (pagesStart + count * kOldPageSize > bytes.size()) {
        *why = "holds " + Num((bytes.size() - std::min<std::uint64_t>(bytes.size(), pagesStart)) /
                              kOldPageSize) +
               " of its " + Num(count) + " dirty pages";
        return false;
    }
    if (!PlanGrowth(plan, kBaseBlockSize + std::uint64_t{hiveBins}, count * kOldPageSize, why) ||
        !Realize(image, plan, why)) {
        return false;
    }
    const unsigned char* page = bytes.data() + pagesStart;
    for (std::size_t bit = 0; bit < bitmapBytes * 8; ++bit) {
        if (!((bitmap[bit / 8] >> (bit % 8)) & 1u)) continue;
        std::memcpy(image.data() + kBaseBlockSize + bit * kOldPageSize, page, kOldPageSize);
        page += kOldPageSize;
    }
    *pages = count;
    return true;
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
        std::uint64_t pages = 0;
        std::string why;
        if (!ApplyOldLog(image, plan, *log, &pages, &why)) {
            notes->push_back(log->name + " unusable: " + why);
            continue;
        }
        notes->push_back(log->name + ": " + Num(pages) + " dirty pages applied");
        out->logsApplied.push_back(log->name);
        out->pagesApplied = pages;
        HeaderFromLog(image, *log, !primary.valid);
        SealBaseBlock(image.data(), log->seq(), log->header.hiveBinsSize,
                      (log->header.flags & 1u) != 0);
        out->sequence = log->seq();
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

LoadedHive RecoverNamed(Bytes primary, const std::optional<Bytes>& log1,
                        const std::optional<Bytes>& log2, const std::string& name1,
                        const std::string& name2) {
    LoadedHive out;
    const BaseBlock bb = ParseBaseBlock(primary.data(), primary.size());
    out.baseBlockValid = bb.valid;
    out.dirty = !bb.valid || bb.primarySeq != bb.secondarySeq;
    const Log logs[2] = {Classify(log1, name1), Classify(log2, name2)};
    const bool anyLog = logs[0].kind != Log::Kind::kAbsent || logs[1].kind != Log::Kind::kAbsent;

    if (!out.dirty) {
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
    out.note = Join(notes);
    out.image = std::move(primary);
    return out;
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

LoadedHive Recover(std::vector<unsigned char> primary,
                   const std::optional<std::vector<unsigned char>>& log1,
                   const std::optional<std::vector<unsigned char>>& log2, const std::string& name1,
                   const std::string& name2) {
    return RecoverNamed(std::move(primary), log1, log2, name1, name2);
}

}  // namespace vornex::hive
