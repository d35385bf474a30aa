// Any bytes as a "KeyLedger.txt", header and lines damaged and cut as they come: a job's hold is
// taken over them with every question agreed to, and the ledger that results keeps every line
// that read, and a copy of the old one whole wherever one did not.
#include <cstdint>
#include <cstring>
#include <string>

#include "keys/keyledger.h"

namespace {

struct Ledger {
    std::string stored, pending, aside, pendingAside;
    bool committed = false, asideKept = false;
    size_t at = 0;
};
Ledger gLedger;

Ledger& of(void*) {
    return gLedger;
}

LedgerOpen openLedger(void* c) {
    of(c).at = 0;
    return LedgerOpen::Opened;
}
int64_t readLedger(void* c, uint8_t* buffer, uint32_t count) {
    Ledger& l = of(c);
    size_t n = std::min<size_t>(count, l.stored.size() - l.at);
    std::memcpy(buffer, l.stored.data() + l.at, n);
    l.at += n;
    return int64_t(n);
}
bool begin(void* c) {
    of(c).pending.clear();
    return true;
}
bool write(void* c, const uint8_t* b, uint32_t n) {
    of(c).pending.append(reinterpret_cast<const char*>(b), n);
    return true;
}
bool beginAside(void* c) {
    of(c).pendingAside.clear();
    return true;
}
bool writeAside(void* c, const uint8_t* b, uint32_t n) {
    of(c).pendingAside.append(reinterpret_cast<const char*>(b), n);
    return true;
}
bool commit(void* c) {
    of(c).committed = true;
    of(c).asideKept = !of(c).pendingAside.empty();
    of(c).aside = of(c).pendingAside;
    return true;
}
void closeLedger(void*) {}
bool random(void*, uint8_t* b, size_t n) {
    std::memset(b, 0x42, n);
    return true;
}
bool hold(void*, uint64_t) {
    return true;
}
void release(void*, uint64_t) {}
bool held(void*, uint64_t id) {
    return id % 2 == 0; // some holds still kept, some left by a process that ended
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gLedger = Ledger{};
    gLedger.stored.assign(reinterpret_cast<const char*>(data), size);
    LedgerFiles files{};
    files.open = openLedger;
    files.read = readLedger;
    files.begin = begin;
    files.write = write;
    files.beginAside = beginAside;
    files.writeAside = writeAside;
    files.commit = commit;
    files.close = closeLedger;
    files.random = random;
    files.hold = hold;
    files.release = release;
    files.held = held;
    files.path = "KeyLedger.txt";
    static LedgerJob job{};
    job.length = 300;
    for (uint32_t i = 0; i < 300; ++i) {
        job.key[i] = uint8_t(i * 7);
        job.data[i] = uint8_t(i * 13);
    }
    job.keyCount = job.dataCount = 300;
    const LedgerReading reading = holdKeyUse(files, job, ~0u);
    if (!gLedger.committed) {
        return 0;
    }
    if (!reading.held) {
        __builtin_trap();
    }
    // Whatever was damaged is kept whole aside.
    if ((reading.damagedLines > 0 || (reading.questions & LedgerHeaderDamaged)) &&
        (!gLedger.asideKept || gLedger.aside != gLedger.stored)) {
        __builtin_trap();
    }
    // Every line that read under a header that read goes on, as the new version writes it.
    LedgerSalt salt{};
    size_t end = gLedger.stored.find('\n');
    std::string first = gLedger.stored.substr(0, end);
    if (!first.empty() && first.back() == '\r') {
        first.pop_back();
    }
    const uint32_t version = parseLedgerHeader(first.data(), first.size(), salt);
    for (size_t at = end; version != 0 && at != std::string::npos && at < gLedger.stored.size();) {
        const size_t next = gLedger.stored.find('\n', at + 1);
        std::string line =
            gLedger.stored.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        KeyUse use;
        if (line.size() < kLedgerLineCapacity && parseKeyUse(line.data(), line.size(), version, use)) {
            if (use.job != 0 && !use.hasOutput && !held(nullptr, use.job)) {
                use.job = 0;
            }
            char kept[kLedgerLineCapacity];
            if (gLedger.pending.find(std::string(kept, formatKeyUse(use, kept))) == std::string::npos) {
                __builtin_trap();
            }
        }
        at = next;
    }
    return 0;
}
