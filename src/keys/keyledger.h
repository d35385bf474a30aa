// The key-use ledger: which key files have encrypted which data on this computer, so that a pad
// is not used for a second, different file without the user being told. It holds dates, lengths
// and salted fingerprints of keys and of outputs, and of data only keyed by its key: no file
// name, and nothing that confirms a guess of the data to whoever lacks the key. The rules live
// here; each system supplies the ledger's files through LedgerFiles.
//
// One use, as the job runner takes it through here:
// 1. Before the job, under the ledger's lock: the ledger is read; a use that may collide with
//    this one is reported for a question; otherwise the job takes a hold (a lock of its own that
//    the system lets go of however the process ends) and writes a line marked with it. Other
//    copies that find the line while the hold is held see the key in use; once nobody holds it,
//    the line counts as a use whose data is unknown.
// 2. After the job's pass, before its output takes its name, under the lock again: the line gets
//    the output's fingerprints, unless the job turned out to encrypt the same data again or to
//    decrypt what the key made, when it goes.
// So a use whose output is in place is always in the ledger, and no two copies can both pass the
// check for one key on different data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "keys/ledgerlines.h"

enum class LedgerOpen : uint32_t {
    Absent,     // no ledger yet; one can be begun
    Opened,     // open for reading, and no other copy is in it until close
    Busy,       // another program held the lock for the whole wait
    Unreadable, // something is in its place that cannot be read (a folder, no permission)
    NoPlace,    // no ledger, and none can be kept: no data folder, or one that cannot be written
};

// The ledger files of one system.
struct LedgerFiles {
    void* context;
    // Takes the lock (waiting while another copy holds it) and opens the ledger for reading.
    LedgerOpen (*open)(void* context);
    int64_t (*read)(void* context, uint8_t* buffer, uint32_t count); // 0 at the end; -1 on failure
    // A new ledger, written beside the old one and put in its place, flushed, by commit.
    bool (*begin)(void* context);
    bool (*write)(void* context, const uint8_t* buffer, uint32_t count);
    // A copy of the ledger as it was, under a name of its own beside it (asidePath), flushed by
    // commit before the new ledger takes the old one's place.
    bool (*beginAside)(void* context);
    bool (*writeAside)(void* context, const uint8_t* buffer, uint32_t count);
    bool (*commit)(void* context);
    // Drops whatever was not committed and lets the other copies in again.
    void (*close)(void* context);
    bool (*random)(void* context, uint8_t* buffer, size_t count);
    // A job's hold on its line: taken before the line is written, let go by release or by the
    // end of the process, whichever comes first.
    bool (*hold)(void* context, uint64_t id);
    void (*release)(void* context, uint64_t id);
    // Whether a running process still keeps the hold `id`. A hold nobody keeps is cleared away.
    bool (*held)(void* context, uint64_t id);
    const char* path;      // for messages
    const char* asidePath; // once beginAside named it
};

// What the ledger has to say about a job: a question (the job goes on only where the front end
// agrees) or a note (said; the job goes on). Bits, so that agreements can be kept together.
enum LedgerSituation : uint32_t {
    SituationNone = 0,
    // Questions about the key.
    KeyUsedBefore = 1u << 0, // it has encrypted other data
    KeyInUse = 1u << 1,      // another job is using it now
    KeyUseUnknown = 1u << 2, // a job with it ended before it recorded what it encrypted
    // Questions about the ledger: this use cannot be checked (in full) against earlier ones.
    LedgerUnreadable = 1u << 3,
    LedgerBusy = 1u << 4,
    LedgerHeaderDamaged = 1u << 5, // its first line: nothing under it can be matched
    LedgerLinesDamaged = 1u << 6,
    // Notes.
    LedgerNone = 1u << 7,        // none can be kept here: nothing checked or recorded
    LedgerReadOnly = 1u << 8,    // read, but this use cannot be recorded
    LedgerNotRecorded = 1u << 9, // after the job: the record could not be completed
    // A question about the key itself, from its verdict: the output would show the data.
    KeyShowsData = 1u << 10,
};
constexpr uint32_t kLedgerQuestions = KeyUsedBefore | KeyInUse | KeyUseUnknown | LedgerUnreadable |
                                      LedgerBusy | LedgerHeaderDamaged | LedgerLinesDamaged;
// The questions that leave this use unchecked against some or all earlier ones.
constexpr uint32_t kLedgerUnchecked =
    LedgerUnreadable | LedgerBusy | LedgerHeaderDamaged | LedgerLinesDamaged;

// One use as the ledger sees it. Before the job: the key's and the data's first bytes as read
// ahead; after the pass: as the job read them, with the fingerprints of what it wrote.
struct LedgerJob {
    uint64_t length; // bytes encrypted
    uint8_t key[kLedgerKeyPrefix];
    uint32_t keyCount; // the key's first bytes, up to kLedgerKeyPrefix (at least the prefix)
    uint8_t data[kLedgerKeyPrefix];
    uint32_t dataCount; // the data's first bytes: the prefix
    bool passed;        // the job's own fingerprints below are known
    uint64_t outputPrint, outputHeadPrint;
    bool inputTraced; // the whole input was fingerprinted too (see LedgerReading.traceInput)
    uint64_t inputPrint;
    uint64_t job;  // the hold, once taken
    bool recorded; // its line holds the job's fingerprints
};
// The bytes that name the key and the data: as many as the data has, up to kLedgerKeyPrefix.
uint32_t ledgerPrefix(uint64_t length);

// What one reading found.
struct LedgerReading {
    uint32_t questions; // LedgerSituation bits: what the front end must be asked
    uint32_t notes;     // LedgerSituation bits: what it must be told
    // The earliest date behind each key question.
    char usedDate[11], inUseDate[11], unknownDate[11];
    uint32_t damagedLines;
    bool held;        // this job holds a line
    bool recorded;    // the line holds this job's fingerprints
    bool traceInput;  // before the job: only the whole input's fingerprint can tell whether the job
                      // decrypts what the key made
    bool notNew;      // after the pass: the same data again, or what the key made coming back
    bool keyIsOutput; // the key's first bytes are the head of an output the ledger knows
    char keyIsOutputDate[11];
};

// Before the job: reads the ledger and, unless it raises a question not in `agreed`, holds a line
// for the job (job.job is set then).
LedgerReading holdKeyUse(const LedgerFiles& ledger, LedgerJob& job, uint32_t agreed);
// After the job's pass (job.passed), before its output is moved into place: records the use in
// the job's line, or drops the line where the job added no use. A question not in `agreed` leaves
// the ledger as it was.
LedgerReading recordKeyUse(const LedgerFiles& ledger, LedgerJob& job, uint32_t agreed);
// The job's line goes: its output never took its name.
void withdrawKeyUse(const LedgerFiles& ledger, LedgerJob& job);

// The first situation of `bits` that a front end meets, questions about the ledger first.
LedgerSituation firstSituation(uint32_t bits);

// The window's answers: the one that goes on, then the harmless one.
constexpr char kLedgerCancel[] = "Cancel";
constexpr char kKeyReuseGoOn[] = "Use it anyway";
constexpr char kLedgerGoOn[] = "Go on anyway";
constexpr char kKeyShowsDataGoOn[] = "Encrypt anyway";
const char* goOnCaption(LedgerSituation situation);

// The text of one situation: `date` for the key questions, the ledger's paths for the rest.
void composeLedgerSituation(LedgerSituation situation, const LedgerReading& reading,
                            const LedgerFiles& ledger, char* out, size_t capacity);
