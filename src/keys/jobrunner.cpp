#include "keys/jobrunner.h"

#include <cstring>

#include "engine/messages.h"
#include "keys/fingerprint.h"

namespace {

constexpr uint32_t kKeyQuestions = KeyUsedBefore | KeyInUse | KeyUseUnknown;
// Once the user goes on without the ledger's word, it is not asked for again: another wait for a
// lock, or another failed reading, would tell nothing new.
constexpr uint32_t kNoWord = LedgerBusy | LedgerUnreadable;

int64_t sizeOf(const FileLayer& files, const char* path) {
    FileRef f = files.openRead(files.context, path);
    if (f == kNoFile) {
        return -1;
    }
    int64_t size = files.size(files.context, f);
    files.close(files.context, f);
    return size;
}

// The first bytes of a file, up to `count`; false when it cannot be read.
bool readHead(const FileLayer& files, const char* path, uint8_t* buffer, uint32_t count, uint32_t& got) {
    got = 0;
    FileRef f = files.openRead(files.context, path);
    if (f == kNoFile) {
        return false;
    }
    int64_t n = files.read(files.context, f, buffer, count);
    files.close(files.context, f);
    got = n > 0 ? uint32_t(n) : 0;
    return n >= 0;
}

// Asks the front end about the first situation of `open` not yet agreed to.
bool agree(const JobRunHooks& hooks, const LedgerFiles& ledger, const LedgerReading& reading, uint32_t open,
           uint32_t& agreed) {
    const LedgerSituation situation = firstSituation(open);
    char text[kMessageCapacity];
    composeLedgerSituation(situation, reading, ledger, text, sizeof text);
    if (!hooks.ask || !hooks.ask(hooks.context, situation, text)) {
        return false;
    }
    agreed |= situation;
    return true;
}

// What the job's tap learns for the ledger, each part on the thread that feeds it: the pass's
// thread reads the key and the data, the writer's thread writes the output, and the job's own
// thread takes the ledger's word once both are done.
struct RunTap {
    const LedgerFiles& ledger;
    const JobRunHooks& hooks;
    LedgerJob& job;
    uint64_t keyBytes; // a job longer than its key is no pad use
    uint32_t agreed;
    bool traceInput;
    // The pass's thread.
    uint8_t key[kLedgerKeyPrefix];
    uint32_t keyCount = 0;
    uint8_t data[kLedgerKeyPrefix];
    uint64_t dataRead = 0;
    Fingerprint input{};
    // The writer's thread.
    uint8_t outputHead[kLedgerKeyPrefix];
    uint64_t written = 0;
    Fingerprint output{};
    // The job's thread, after the pass.
    bool recorded = false;
    bool placed = false;
    uint32_t afterNotes = 0;

    RunTap(const LedgerFiles& l, const JobRunHooks& h, LedgerJob& j, uint64_t k, uint32_t a, bool t)
        : ledger(l), hooks(h), job(j), keyBytes(k), agreed(a), traceInput(t) {
        startFingerprint(input);
        startFingerprint(output);
    }
};

void keepHead(uint8_t* head, uint64_t already, const uint8_t* bytes, size_t count) {
    if (already < kLedgerKeyPrefix) {
        size_t take = size_t(kLedgerKeyPrefix - already) < count ? size_t(kLedgerKeyPrefix - already) : count;
        std::memcpy(head + already, bytes, take);
    }
}

void tapData(void* context, const uint8_t* bytes, size_t count) {
    auto& t = *static_cast<RunTap*>(context);
    keepHead(t.data, t.dataRead, bytes, count);
    if (t.traceInput) {
        feedFingerprint(t.input, bytes, count);
    }
    t.dataRead += count;
}

void tapKey(void* context, const uint8_t* bytes, size_t count) {
    auto& t = *static_cast<RunTap*>(context);
    keepHead(t.key, t.keyCount, bytes, count);
    t.keyCount = uint32_t(t.keyCount + count < kLedgerKeyPrefix ? t.keyCount + count : kLedgerKeyPrefix);
}

void tapOutput(void* context, const uint8_t* bytes, size_t count) {
    auto& t = *static_cast<RunTap*>(context);
    keepHead(t.outputHead, t.written, bytes, count);
    feedFingerprint(t.output, bytes, count);
    t.written += count;
}

// The use as the job made it, from what it read and wrote: a key file changed, or an input grown
// or shrunk, since the check is recorded as it was used.
bool takeJobAsRun(RunTap& t) {
    LedgerJob& job = t.job;
    const uint32_t n = ledgerPrefix(t.dataRead);
    if (t.dataRead < kLedgerSmallestUse || t.dataRead > t.keyBytes || t.keyCount < n ||
        t.written != t.dataRead) {
        return false;
    }
    job.length = t.dataRead;
    std::memcpy(job.key, t.key, t.keyCount);
    job.keyCount = t.keyCount;
    std::memcpy(job.data, t.data, n);
    job.dataCount = n;
    job.outputPrint = finishFingerprint(t.output);
    job.outputHeadPrint = fingerprintOf(t.outputHead, n);
    job.inputTraced = t.traceInput;
    job.inputPrint = t.traceInput ? finishFingerprint(t.input) : 0;
    return true;
}

bool beforePlacing(void* context) {
    auto& t = *static_cast<RunTap*>(context);
    if (!takeJobAsRun(t)) {
        withdrawKeyUse(t.ledger, t.job);
        return true; // no pad use after all: nothing to record
    }
    for (;;) {
        LedgerReading reading = recordKeyUse(t.ledger, t.job, t.agreed);
        t.afterNotes |= reading.notes & LedgerNotRecorded;
        const uint32_t open = reading.questions & ~t.agreed;
        if (!open) {
            t.recorded = reading.recorded;
            return true;
        }
        if (!agree(t.hooks, t.ledger, reading, open, t.agreed)) {
            withdrawKeyUse(t.ledger, t.job);
            return false;
        }
        if (t.agreed & kNoWord) {
            // The job's line stays as it was: a use whose data is unknown.
            t.afterNotes |= t.job.job != 0 ? uint32_t(LedgerNotRecorded) : 0u;
            return true;
        }
    }
}

void afterPlacing(void* context, bool placed) {
    static_cast<RunTap*>(context)->placed = placed;
}

} // namespace

bool padUseLength(const JobRequest& request, const FileLayer& files, uint64_t& length) {
    length = 0;
    if (request.direction != Encrypt || request.keyKind != KeyKind::File) {
        return false;
    }
    // XOR mode undoes itself: XORing a container is taking it apart, not encrypting.
    ContainerHeader header;
    if (request.mode == ModeXor && readContainerHeader(files, request.inputPath, header) == HeaderRead::Ok) {
        return false;
    }
    int64_t size = sizeOf(files, request.inputPath);
    if (size < int64_t(kLedgerSmallestUse) || uint64_t(size) > request.keyBytes) {
        return false;
    }
    length = uint64_t(size);
    return true;
}

JobRun runJob(const JobRequest& request, const FileLayer& files, const JobOptions& options,
              const LedgerFiles* ledger, const JobRunHooks& hooks) {
    JobRun run{};
    LedgerJob job{};
    uint64_t length = 0;
    const bool counted = ledger && padUseLength(request, files, length) &&
                         readHead(files, request.keyPath, job.key, kLedgerKeyPrefix, job.keyCount) &&
                         readHead(files, request.inputPath, job.data, ledgerPrefix(length), job.dataCount) &&
                         job.keyCount >= ledgerPrefix(length) && job.dataCount == ledgerPrefix(length);
    job.length = length;
    uint32_t agreed = 0;
    LedgerReading reading{};
    if (counted) {
        for (;;) {
            reading = holdKeyUse(*ledger, job, agreed);
            const uint32_t open = reading.questions & ~agreed;
            if (!open) {
                break;
            }
            if (!agree(hooks, *ledger, reading, open, agreed)) {
                run.outcome.failedAt = JobStep::Declined;
                run.outcome.result = ResultDeclined;
                return run;
            }
            if (agreed & kNoWord) {
                break;
            }
        }
        for (uint32_t notes = reading.notes; notes != 0;) {
            const LedgerSituation note = firstSituation(notes);
            notes &= ~uint32_t(note);
            char text[kMessageCapacity];
            composeLedgerSituation(note, reading, *ledger, text, sizeof text);
            if (hooks.tell) {
                hooks.tell(hooks.context, note, text);
            }
        }
    }
    // The ledger's word after the pass is taken wherever it could be read before the job.
    const bool settle = counted && !(agreed & kNoWord) && !(reading.notes & LedgerNone);
    // The verdict on an encryption's key, before the data is touched: said where the front end
    // says it, and asked about where the output would show the data.
    if (request.direction == Encrypt) {
        KeyLedgerFacts facts{};
        facts.asked = counted;
        facts.consulted = settle && !(agreed & kLedgerUnchecked);
        facts.usedBefore = (agreed & kKeyQuestions) != 0;
        facts.keyIsOutput = reading.keyIsOutput;
        copyText(reading.keyIsOutputDate, facts.keyIsOutputDate);
        const int64_t payload = counted ? int64_t(length) : sizeOf(files, request.inputPath);
        bool goOn = true;
        if (payload >= 0) {
            const KeyJudgement verdict = judgeKey(request, files, uint64_t(payload), facts);
            goOn = !hooks.judged || hooks.judged(hooks.context, verdict);
            if (goOn && judgementShowsData(verdict)) {
                char text[kMessageCapacity];
                composeShowsDataQuestion(verdict, text, sizeof text);
                goOn = hooks.ask && hooks.ask(hooks.context, KeyShowsData, text);
            }
        }
        if (!goOn) {
            if (counted && job.job != 0) {
                withdrawKeyUse(*ledger, job);
                ledger->release(ledger->context, job.job);
            }
            run.outcome.failedAt = JobStep::Declined;
            run.outcome.result = ResultDeclined;
            return run;
        }
    }
    if (!settle) {
        run.outcome = runJobOperation(request, files, options);
        return run;
    }
    RunTap tapped(*ledger, hooks, job, request.keyBytes, agreed, reading.traceInput);
    JobTap tap{&tapped, tapData, tapKey, tapOutput, beforePlacing, afterPlacing};
    JobOptions withTap = options;
    withTap.tap = &tap;
    run.outcome = runJobOperation(request, files, withTap);
    // A job that failed before its output took its name added no use; one that ended in the
    // middle of this leaves its line to count as a use whose data is unknown.
    if (!tapped.placed && (job.job != 0 || job.recorded) && run.outcome.failedAt != JobStep::Declined) {
        withdrawKeyUse(*ledger, job);
    }
    if (job.job != 0) {
        ledger->release(ledger->context, job.job);
    }
    run.afterNotes = tapped.afterNotes;
    return run;
}
