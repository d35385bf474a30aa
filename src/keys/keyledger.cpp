#include "keys/keyledger.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include "keys/fingerprint.h"
#include "text/text.h"

namespace {

enum class PassKind { Hold, Record, Withdraw };

uint64_t salted(const LedgerSalt& salt, uint64_t raw) {
    return saltedPrint(salt.words, raw);
}

void today(char (&date)[11]) {
    int64_t y = 0, m = 0, d = 0;
    civilDate(int64_t(std::time(nullptr)) / 86400, y, m, d);
    std::snprintf(date, sizeof date, "%04u-%02u-%02u", unsigned(y) % 10000u, unsigned(m) % 100u,
                  unsigned(d) % 100u);
}

void keepEarlier(char (&kept)[11], const char* date) {
    if (kept[0] == '\0' || std::strcmp(date, kept) < 0) {
        copyText(date, kept);
    }
}

// The job's raw fingerprints: of the key's first n bytes for the n a line names (the last one
// asked is kept, and nearly every line names the same n), and of its data.
struct JobPrints {
    const LedgerJob& job;
    uint32_t keyLength = 0;
    uint64_t key = 0;
    uint64_t keyed = 0;    // the key's prefix, then the data's
    uint64_t dataHead = 0; // the data's prefix alone: the head of a use's output, when decrypting

    explicit JobPrints(const LedgerJob& j) : job(j) {
        const uint32_t n = ledgerPrefix(j.length);
        Fingerprint print;
        startFingerprint(print);
        feedFingerprint(print, j.key, n <= j.keyCount ? n : 0);
        feedFingerprint(print, j.data, n <= j.dataCount ? n : 0);
        keyed = finishFingerprint(print);
        dataHead = fingerprintOf(j.data, n <= j.dataCount ? n : 0);
    }
    bool keyPrint(uint32_t n, uint64_t& raw) {
        if (n == 0 || n > job.keyCount) {
            return false;
        }
        if (n != keyLength) {
            key = fingerprintOf(job.key, n);
            keyLength = n;
        }
        raw = key;
        return true;
    }
};

// What the lines said of the job's key, before the questions are drawn from it.
struct KeyFindings {
    bool candidate = false; // a use that may be this very data, or what the key made
    bool inUse = false, other = false, unknown = false;
};

struct Pass {
    const LedgerFiles& ledger;
    LedgerJob& job;
    PassKind kind;
    uint32_t agreed;
    bool aside; // this pass keeps a copy of the ledger as it was
    LedgerReading& reading;
    LedgerSalt salt{};
    uint32_t version = 2;
    bool writing = false;
    bool asideFailed = false;
    bool ownFound = false;
    KeyUse own{};
    KeyFindings found{};

    bool writeLine(const char* line, size_t length) {
        writing = writing && length > 0 &&
                  ledger.write(ledger.context, reinterpret_cast<const uint8_t*>(line), uint32_t(length));
        return writing;
    }
    bool writeUse(const KeyUse& use) {
        char line[kLedgerLineCapacity];
        return writeLine(line, formatKeyUse(use, line));
    }
    bool newSalt() {
        return ledger.random(ledger.context, reinterpret_cast<uint8_t*>(salt.words), sizeof salt.words);
    }

    // One line of the ledger: what it says of the job's key, and what of it goes on.
    void take(KeyUse& use, JobPrints& prints) {
        uint64_t raw = 0;
        const bool keyKnown = prints.keyPrint(use.keyPrefix, raw);
        if (keyKnown && use.hasOutputHead && salted(salt, raw) == use.outputHeadPrint) {
            reading.keyIsOutput = true;
            keepEarlier(reading.keyIsOutputDate, use.date);
        }
        const bool thisKey = keyKnown && salted(salt, raw) == use.keyPrint;
        if (isOwn(use)) {
            ownFound = true;
            own = use;
            return; // the job's own line is written last, as this pass leaves it
        }
        const bool hold = use.job != 0 && !use.hasOutput;
        // A hold nobody keeps is a use whose data will never be known. Only this key's holds are
        // asked about when nothing is written; the others wait for a pass that can write.
        if (hold && (thisKey || writing) && !ledger.held(ledger.context, use.job)) {
            use.job = 0;
        }
        if (thisKey) {
            judge(use, prints);
        }
        writeUse(use);
    }

    void judge(const KeyUse& use, JobPrints& prints) {
        if (use.job != 0 && !use.hasOutput) {
            found.inUse = true;
            keepEarlier(reading.inUseDate, use.date);
            return;
        }
        if (!use.hasOutput) {
            found.unknown = true;
            keepEarlier(reading.unknownDate, use.date);
            return;
        }
        const bool sameLength = use.length == job.length;
        if (job.passed) {
            // With one key the same data gives the same output, and an input that is a use's
            // output is what the key made coming back.
            if (sameLength && (use.outputPrint == salted(salt, job.outputPrint) ||
                               (job.inputTraced && use.outputPrint == salted(salt, job.inputPrint)))) {
                reading.notNew = true;
                return;
            }
        } else if (sameLength) {
            if (use.hasData && use.dataPrint == salted(salt, prints.keyed)) {
                found.candidate = true;
                return;
            }
            if (!use.hasData || !use.hasOutputHead || use.outputHeadPrint == salted(salt, prints.dataHead)) {
                found.candidate = true;
                reading.traceInput = true;
                return;
            }
        }
        found.other = true;
        keepEarlier(reading.usedDate, use.date);
    }

    void drawQuestions() {
        // A use that may turn out to be this very data is decided after the pass, when its output
        // is known: only then can the key questions be asked truly.
        if (reading.notNew || (!job.passed && found.candidate)) {
            return;
        }
        reading.questions |= (found.inUse ? uint32_t(KeyInUse) : 0u) |
                             (found.other ? uint32_t(KeyUsedBefore) : 0u) |
                             (found.unknown ? uint32_t(KeyUseUnknown) : 0u);
    }

    // The job's hold names it; once recorded, its line is the one with its fingerprints.
    bool isOwn(const KeyUse& use) {
        if (job.job != 0 && use.job == job.job) {
            return true;
        }
        if (ownFound || !job.recorded || use.job != 0) {
            return false;
        }
        const KeyUse record = jobLine(true);
        return use.keyPrefix == record.keyPrefix && use.keyPrint == record.keyPrint &&
               use.length == record.length && use.hasData && use.dataPrint == record.dataPrint &&
               use.hasOutput && use.outputPrint == record.outputPrint;
    }

    KeyUse jobLine(bool withOutput) {
        JobPrints prints(job);
        const uint32_t n = ledgerPrefix(job.length);
        KeyUse use{};
        today(use.date);
        use.keyPrefix = n;
        uint64_t raw = 0;
        prints.keyPrint(n, raw);
        use.keyPrint = salted(salt, raw);
        use.length = job.length;
        use.hasData = true;
        use.dataPrint = salted(salt, prints.keyed);
        use.hasOutputHead = use.hasOutput = withOutput;
        use.outputHeadPrint = withOutput ? salted(salt, job.outputHeadPrint) : 0;
        use.outputPrint = withOutput ? salted(salt, job.outputPrint) : 0;
        // A hold's number stays only while the job may still run.
        use.job = withOutput ? 0 : job.job;
        return use;
    }
};

void copyAside(void* context, const uint8_t* bytes, size_t count) {
    auto* pass = static_cast<Pass*>(context);
    pass->asideFailed =
        pass->asideFailed || !pass->ledger.writeAside(pass->ledger.context, bytes, uint32_t(count));
}

int64_t readLedger(void* context, uint8_t* buffer, uint32_t count) {
    const LedgerFiles& ledger = *static_cast<const LedgerFiles*>(context);
    return ledger.read(ledger.context, buffer, count);
}

// One reading of the ledger under its lock, and where this kind of pass may write, its new
// ledger. True when the pass must be run again keeping a copy aside.
bool runPass(Pass& p) {
    const LedgerFiles& ledger = p.ledger;
    LedgerReading& r = p.reading;
    const LedgerOpen opened = ledger.open(ledger.context);
    switch (opened) {
    case LedgerOpen::NoPlace:
        ledger.close(ledger.context);
        r.notes |= LedgerNone;
        return false;
    case LedgerOpen::Busy:
        ledger.close(ledger.context);
        r.questions |= LedgerBusy;
        return false;
    case LedgerOpen::Unreadable:
        ledger.close(ledger.context);
        r.questions |= LedgerUnreadable;
        return false;
    case LedgerOpen::Absent:
        if (p.kind == PassKind::Withdraw) {
            ledger.close(ledger.context);
            return false;
        }
        break;
    case LedgerOpen::Opened:
        break;
    }
    LedgerLineReader reader{const_cast<LedgerFiles*>(&ledger), readLedger};
    if (p.aside) {
        reader.copy = copyAside;
        reader.copyContext = &p;
        p.asideFailed = !ledger.beginAside(ledger.context);
    }
    char line[kLedgerLineCapacity];
    size_t n = 0;
    bool fresh = true;
    if (opened == LedgerOpen::Opened && reader.next(line, n)) {
        p.version = parseLedgerHeader(line, n, p.salt);
        fresh = false;
        if (p.version == 0) {
            // Under a header that cannot be read the lines have lost their salt: none can be
            // matched. The ledger goes on only as a copy kept whole, never replaced unseen.
            r.questions |= LedgerHeaderDamaged;
            if (!(p.agreed & LedgerHeaderDamaged) || p.kind == PassKind::Withdraw) {
                ledger.close(ledger.context);
                return false;
            }
            if (!p.aside) {
                ledger.close(ledger.context);
                return true;
            }
            while (reader.next(line, n)) {
            }
            fresh = true;
        }
    }
    if (fresh) {
        p.version = 2;
        if (!p.newSalt()) {
            ledger.close(ledger.context);
            r.notes |= LedgerReadOnly;
            return false;
        }
    }
    // The hold comes before the line that names it: whoever reads the line finds it held.
    if (p.kind == PassKind::Hold) {
        uint64_t id = 0;
        p.writing = ledger.random(ledger.context, reinterpret_cast<uint8_t*>(&id), sizeof id) && id != 0 &&
                    ledger.hold(ledger.context, id);
        p.job.job = p.writing ? id : 0;
    } else {
        p.writing = true;
    }
    p.writing = p.writing && !p.asideFailed && ledger.begin(ledger.context);
    char header[kLedgerLineCapacity];
    p.writeLine(header, formatLedgerHeader(p.salt, header));
    JobPrints prints(p.job);
    KeyUse use;
    while (!fresh && reader.next(line, n)) {
        if (n == 0) {
            continue; // an empty line holds nothing to keep
        }
        if (!parseKeyUse(line, n, p.version, use)) {
            ++r.damagedLines;
            continue;
        }
        p.take(use, prints);
    }
    if (reader.failed) {
        r.questions |= LedgerUnreadable;
    }
    if (r.damagedLines > 0) {
        r.questions |= LedgerLinesDamaged;
    }
    if (p.kind != PassKind::Withdraw) {
        p.drawQuestions();
    }
    const bool unread = (r.questions & LedgerUnreadable) != 0;
    const bool asking = (r.questions & ~p.agreed) != 0 && p.kind != PassKind::Withdraw;
    const bool damaged = (r.questions & (LedgerLinesDamaged | LedgerHeaderDamaged)) != 0;
    // A ledger read only in part, or with lines it cannot keep, is never replaced by what was
    // read of it, unless a copy of it as it was is kept.
    if (unread || asking || (damaged && !p.aside)) {
        const bool again = !unread && !asking;
        if (p.kind == PassKind::Hold && p.job.job != 0) {
            ledger.release(ledger.context, p.job.job);
            p.job.job = 0;
        }
        ledger.close(ledger.context);
        return again;
    }
    if (p.kind == PassKind::Hold) {
        p.writeUse(p.jobLine(false));
    } else if (p.kind == PassKind::Record && !r.notNew) {
        p.writeUse(p.jobLine(true));
    }
    const bool committed = p.writing && !p.asideFailed && ledger.commit(ledger.context);
    ledger.close(ledger.context);
    if (p.kind == PassKind::Hold) {
        r.held = committed;
        if (!committed) {
            if (p.job.job != 0) {
                ledger.release(ledger.context, p.job.job);
            }
            p.job.job = 0;
            r.notes |= LedgerReadOnly;
        }
    } else if (p.kind == PassKind::Record) {
        r.held = !committed && p.ownFound;
        r.recorded = committed && !r.notNew;
        p.job.recorded = r.recorded;
        if (!committed && p.job.job != 0) {
            r.notes |= LedgerNotRecorded;
        }
    }
    return false;
}

LedgerReading runPasses(const LedgerFiles& ledger, LedgerJob& job, PassKind kind, uint32_t agreed) {
    LedgerReading reading{};
    bool aside = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        reading = LedgerReading{};
        Pass pass{ledger, job, kind, agreed, aside, reading};
        if (!runPass(pass)) {
            break;
        }
        aside = true;
    }
    return reading;
}

} // namespace

uint32_t ledgerPrefix(uint64_t length) {
    return uint32_t(length < kLedgerKeyPrefix ? length : kLedgerKeyPrefix);
}

LedgerReading holdKeyUse(const LedgerFiles& ledger, LedgerJob& job, uint32_t agreed) {
    job.passed = false;
    job.job = 0;
    return runPasses(ledger, job, PassKind::Hold, agreed);
}

LedgerReading recordKeyUse(const LedgerFiles& ledger, LedgerJob& job, uint32_t agreed) {
    job.passed = true;
    return runPasses(ledger, job, PassKind::Record, agreed);
}

void withdrawKeyUse(const LedgerFiles& ledger, LedgerJob& job) {
    if (job.job != 0 || job.recorded) {
        runPasses(ledger, job, PassKind::Withdraw, ~0u);
        job.recorded = false;
    }
}

LedgerSituation firstSituation(uint32_t bits) {
    for (LedgerSituation s :
         {LedgerBusy, LedgerUnreadable, LedgerHeaderDamaged, KeyInUse, KeyUsedBefore, KeyUseUnknown,
          LedgerLinesDamaged, LedgerNone, LedgerReadOnly, LedgerNotRecorded, KeyShowsData}) {
        if (bits & s) {
            return s;
        }
    }
    return SituationNone;
}

const char* goOnCaption(LedgerSituation situation) {
    if (situation == KeyShowsData) {
        return kKeyShowsDataGoOn;
    }
    return situation & (KeyUsedBefore | KeyInUse | KeyUseUnknown) ? kKeyReuseGoOn : kLedgerGoOn;
}

void composeLedgerSituation(LedgerSituation situation, const LedgerReading& reading,
                            const LedgerFiles& ledger, char* out, size_t capacity) {
    static const char kPad[] =
        "A key file is a one-time pad only while it encrypts one file: anyone who gets two files encrypted "
        "with it can XOR them together, the key drops out, and what is left is the two original files "
        "mixed, which can usually be read apart.";
    static const char kUnchecked[] =
        "so this use of the key file cannot be checked against earlier ones, and it will not be recorded. "
        "Go on only if you know that this key file has never encrypted another file.";
    const char* path = ledger.path ? ledger.path : "";
    const char* aside = ledger.asidePath && ledger.asidePath[0] ? ledger.asidePath : "KeyLedger.damaged.txt";
    switch (situation) {
    case KeyUsedBefore:
        std::snprintf(out, capacity,
                      "This key file has already encrypted other data on this computer (first on %s). %s Use "
                      "a new key file for this file.",
                      reading.usedDate, kPad);
        return;
    case KeyInUse:
        std::snprintf(out, capacity,
                      "This key file is being used right now by another job on this computer (started on "
                      "%s). %s Use a new key file for this file.",
                      reading.inUseDate, kPad);
        return;
    case KeyUseUnknown:
        std::snprintf(out, capacity,
                      "A job that used this key file on this computer (on %s) ended before it could record "
                      "what it encrypted, so its output may exist. %s Use a new key file for this file, "
                      "unless that job encrypted this very file.",
                      reading.unknownDate, kPad);
        return;
    case LedgerUnreadable:
        std::snprintf(out, capacity, "The key-use ledger \"%s\" cannot be read, %s", path, kUnchecked);
        return;
    case LedgerBusy:
        std::snprintf(out, capacity, "The key-use ledger \"%s\" is kept locked by another program, %s", path,
                      kUnchecked);
        return;
    case LedgerHeaderDamaged:
        std::snprintf(out, capacity,
                      "The key-use ledger \"%s\" is damaged: its first line cannot be read, and without it "
                      "none of its entries can be matched, so this use of the key file cannot be checked "
                      "against earlier ones. If you go on, the damaged ledger is kept whole as \"%s\" and a "
                      "new ledger begins with this use.",
                      path, aside);
        return;
    case LedgerLinesDamaged:
        std::snprintf(
            out, capacity,
            "The key-use ledger \"%s\" holds %u %s that cannot be read, so this use of the key file "
            "cannot be fully checked against earlier ones: the uses recorded there are not "
            "recognised. If you go on, the ledger as it is now is kept whole as \"%s\", and the "
            "lines that can be read go on in the ledger.",
            path, unsigned(reading.damagedLines), reading.damagedLines == 1 ? "line" : "lines", aside);
        return;
    case LedgerNone:
        std::snprintf(out, capacity,
                      "No key-use ledger can be kept here (\"%s\" cannot be written), so this use of the key "
                      "file cannot be checked against earlier ones, and it will not be recorded. Make sure "
                      "yourself that this key file encrypts no other file.",
                      path[0] ? path : "there is no data folder");
        return;
    case LedgerReadOnly:
        std::snprintf(
            out, capacity,
            "The key-use ledger \"%s\" can be read but not written, so this use of the key file was "
            "checked against earlier ones but will not be recorded: a later use of it for other "
            "data will not be noticed.",
            path);
        return;
    case LedgerNotRecorded:
        std::snprintf(
            out, capacity,
            "The key-use ledger \"%s\" could not be brought up to date after the job. It keeps this "
            "use as one whose data is unknown, so every later use of this key file will be asked "
            "about.",
            path);
        return;
    case KeyShowsData: // its text comes with the key's verdict
    case SituationNone:
        break;
    }
    if (capacity > 0) {
        out[0] = '\0';
    }
}
