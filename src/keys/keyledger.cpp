#include "keys/keyledger.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "engine/operation.h"
#include "text/text.h"

namespace {

constexpr uint64_t kP1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kP2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kP3 = 0x165667B19E3779F9ull;
constexpr uint64_t kP4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t kP5 = 0x27D4EB2F165667C5ull;

constexpr char kHeaderLead[] = "Nimbrel key-use ledger 1 salt ";

uint64_t rotateLeft(uint64_t x, unsigned n) {
    return (x << n) | (x >> (64 - n));
}

// Little-endian on every system, so that systems sharing a ledger agree.
uint64_t load64(const uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
#else
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
#endif
}

uint32_t load32(const uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
#else
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
#endif
}

uint64_t round64(uint64_t lane, uint64_t word) {
    return rotateLeft(lane + word * kP2, 31) * kP1;
}

// Eight lanes of 32 bits: as fast in the 32-bit program as in the 64-bit one, where lanes of 64
// bits would take three multiplications each.
constexpr uint32_t kQ1 = 0x9E3779B1u;
constexpr uint32_t kQ2 = 0x85EBCA77u;

// One multiplication a word, the bound on speed: the product carries each bit of the lane into
// every bit above it, and the rotation brings the most mixed bits down for the next word. Each
// step is a bijection of the lane, so a changed word is undone only by a later word that happens
// to match the lane's new value exactly.
uint32_t round32(uint32_t lane, uint32_t word) {
    lane = (lane ^ word) * kQ1;
    return (lane << 15) | (lane >> 17);
}

// GCC would put the lanes in vector registers, where SSE2 has no 32-bit multiplication and the
// product becomes a long chain of shifts: the plain instructions are faster.
#if defined(__GNUC__) && !defined(__clang__)
#define NIMBREL_SCALAR_LOOP __attribute__((optimize("no-tree-vectorize")))
#else
#define NIMBREL_SCALAR_LOOP
#endif

// Eight named lanes: an array would live in memory and wait on its own stores.
NIMBREL_SCALAR_LOOP void feedStripes(uint32_t (&lanes)[8], const uint8_t* p, size_t stripes) {
    uint32_t a = lanes[0], b = lanes[1], c = lanes[2], d = lanes[3];
    uint32_t e = lanes[4], f = lanes[5], g = lanes[6], h = lanes[7];
    for (; stripes > 0; --stripes, p += 32) {
        a = round32(a, load32(p));
        b = round32(b, load32(p + 4));
        c = round32(c, load32(p + 8));
        d = round32(d, load32(p + 12));
        e = round32(e, load32(p + 16));
        f = round32(f, load32(p + 20));
        g = round32(g, load32(p + 24));
        h = round32(h, load32(p + 28));
    }
    lanes[0] = a, lanes[1] = b, lanes[2] = c, lanes[3] = d;
    lanes[4] = e, lanes[5] = f, lanes[6] = g, lanes[7] = h;
}

uint64_t mixDown(uint64_t h) {
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    h *= kP3;
    return h ^ (h >> 32);
}

void putHex(uint64_t value, char* out) {
    for (int i = 15; i >= 0; --i, value >>= 4) {
        out[i] = "0123456789abcdef"[value & 15];
    }
}

bool takeHex(const char*& p, const char* end, uint64_t& value) {
    if (end - p < 16) {
        return false;
    }
    value = 0;
    for (int i = 0; i < 16; ++i, ++p) {
        char c = *p;
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) {
            return false;
        }
        value = value << 4 | uint64_t(digit);
    }
    return true;
}

bool takeDecimal(const char*& p, const char* end, uint64_t& value) {
    const char* start = p;
    value = 0;
    while (p < end && *p >= '0' && *p <= '9' && p - start < 12) {
        value = value * 10 + uint64_t(*p++ - '0');
    }
    return p != start && p - start < 12;
}

bool takeChar(const char*& p, const char* end, char c) {
    if (p == end || *p != c) {
        return false;
    }
    ++p;
    return true;
}

// The ledger's lines through a fixed buffer: memory stays the same whatever the ledger holds.
struct LineReader {
    const LedgerFiles& ledger;
    uint8_t buffer[4096];
    size_t start = 0, end = 0;
    bool atEnd = false;
    bool failed = false;

    explicit LineReader(const LedgerFiles& l) : ledger(l) {}

    bool fill() {
        if (atEnd || failed) {
            return false;
        }
        std::memmove(buffer, buffer + start, end - start);
        end -= start;
        start = 0;
        int64_t got = ledger.read(ledger.context, buffer + end, uint32_t(sizeof buffer - end));
        failed = got < 0;
        atEnd = got == 0;
        end += got > 0 ? size_t(got) : 0;
        return got > 0;
    }

    // The next line without its line break; a line longer than the ledger writes comes back cut
    // (and so unreadable). False at the end, or when reading fails.
    bool next(char (&line)[kLedgerLineCapacity], size_t& length) {
        size_t kept = 0;
        bool cut = false, any = false;
        for (;;) {
            if (start == end && !fill()) {
                break;
            }
            any = true;
            uint8_t c = buffer[start++];
            if (c == '\n') {
                break;
            }
            cut = cut || kept == sizeof line - 1;
            if (!cut) {
                line[kept++] = char(c);
            }
        }
        if (!cut && kept > 0 && line[kept - 1] == '\r') {
            --kept;
        }
        line[kept] = '\0';
        length = cut ? sizeof line : kept;
        return any && !failed;
    }
};

// The key file's first bytes, which name the key.
struct KeyPrefix {
    uint8_t bytes[kLedgerKeyPrefix];
    uint32_t count = 0;
    uint32_t printedLength = 0; // the prefix `raw` fingerprints
    uint64_t raw = 0;
};

bool readKeyPrefix(const JobRequest& request, const FileLayer& files, KeyPrefix& prefix) {
    FileRef key = files.openRead(files.context, request.keyPath);
    if (key == kNoFile) {
        return false;
    }
    int64_t got = files.read(files.context, key, prefix.bytes, kLedgerKeyPrefix);
    files.close(files.context, key);
    prefix.count = got > 0 ? uint32_t(got) : 0;
    return got >= 0;
}

uint64_t rawPrint(const uint8_t* bytes, size_t count) {
    Fingerprint print;
    startFingerprint(print);
    feedFingerprint(print, bytes, count);
    return finishFingerprint(print);
}

bool isThisKey(const KeyUse& use, KeyPrefix& prefix, const LedgerSalt& salt) {
    if (use.keyPrefix == 0 || use.keyPrefix > prefix.count) {
        return false;
    }
    if (prefix.printedLength != use.keyPrefix) {
        prefix.raw = rawPrint(prefix.bytes, use.keyPrefix);
        prefix.printedLength = use.keyPrefix;
    }
    return saltedPrint(salt, prefix.raw) == use.keyPrint;
}

bool earlier(const char* date, const char* than) {
    return than[0] == '\0' || std::strcmp(date, than) < 0;
}

// A job's output fingerprints as one ledger stores them, taken once for all its lines.
struct TracePrints {
    bool known = false;
    uint64_t output = 0;
    uint64_t outputPrefix = 0;
};

TracePrints printsUnder(const LedgerSalt& salt, const KeyUseTrace* trace) {
    TracePrints prints;
    if (trace) {
        prints = {true, saltedPrint(salt, finishFingerprint(trace->output)),
                  saltedPrint(salt, finishFingerprint(trace->outputPrefix))};
    }
    return prints;
}

// With one key, the same data gives the same output; and an output that begins as a use's data
// began is that data coming back: the job is decrypting what the key made.
void matchUse(const KeyUse& use, uint64_t length, const TracePrints& prints, bool& same, bool& made) {
    same = prints.known && use.length == length && use.outputPrint == prints.output;
    made = prints.known && use.length == length && use.dataPrint == prints.outputPrefix;
}

enum class Scan { Read, Absent, Unreadable };

// What one reading of the ledger found about one key and one data fingerprint.
struct Findings {
    bool keyKnown = false;
    bool sameLength = false; // a use of this key for as many bytes
    bool sameData = false;
    bool madeByKey = false; // the data is the output of a use of this key
    char firstOther[11] = "";
};

// `trace`, when given, is that of the job (or the job to come) on this data.
Scan scanLedger(const LedgerFiles& ledger, KeyPrefix& prefix, uint64_t length, const KeyUseTrace* trace,
                Findings& found) {
    LedgerOpen opened = ledger.open(ledger.context);
    if (opened != LedgerOpen::Opened) {
        ledger.close(ledger.context);
        return opened == LedgerOpen::Absent ? Scan::Absent : Scan::Unreadable;
    }
    LineReader reader(ledger);
    char line[kLedgerLineCapacity];
    size_t n = 0;
    LedgerSalt salt{};
    bool headed = reader.next(line, n) && parseLedgerHeader(line, n, salt);
    const TracePrints prints = printsUnder(salt, trace);
    KeyUse use;
    while (headed && reader.next(line, n)) {
        if (!parseKeyUse(line, n, use) || !isThisKey(use, prefix, salt)) {
            continue;
        }
        found.keyKnown = true;
        found.sameLength = found.sameLength || use.length == length;
        bool same = false, made = false;
        matchUse(use, length, prints, same, made);
        found.sameData = found.sameData || same;
        found.madeByKey = found.madeByKey || made;
        if (!same && !made && earlier(use.date, found.firstOther)) {
            copyText(use.date, found.firstOther);
        }
    }
    bool failed = reader.failed;
    ledger.close(ledger.context);
    return failed ? Scan::Unreadable : Scan::Read;
}

void today(char (&date)[11]) {
    int64_t y = 0, m = 0, d = 0;
    civilDate(int64_t(std::time(nullptr)) / 86400, y, m, d);
    std::snprintf(date, sizeof date, "%04u-%02u-%02u", unsigned(y) % 10000u, unsigned(m) % 100u,
                  unsigned(d) % 100u);
}

bool writeLine(const LedgerFiles& ledger, const char* line, size_t length) {
    return ledger.write(ledger.context, reinterpret_cast<const uint8_t*>(line), uint32_t(length));
}

} // namespace

void startFingerprint(Fingerprint& print) {
    for (uint32_t i = 0; i < 8; ++i) {
        print.lanes[i] = kQ1 * (2 * i + 1) + kQ2;
    }
    print.total = 0;
    print.tailLength = 0;
}

void feedFingerprint(Fingerprint& print, const uint8_t* bytes, size_t count) {
    print.total += count;
    if (print.tailLength > 0) {
        size_t take = 32 - print.tailLength < count ? 32 - print.tailLength : count;
        std::memcpy(print.tail + print.tailLength, bytes, take);
        print.tailLength += uint32_t(take);
        bytes += take;
        count -= take;
        if (print.tailLength < 32) {
            return;
        }
        feedStripes(print.lanes, print.tail, 1);
        print.tailLength = 0;
    }
    feedStripes(print.lanes, bytes, count / 32);
    std::memcpy(print.tail, bytes + count / 32 * 32, count % 32);
    print.tailLength = uint32_t(count % 32);
}

uint64_t finishFingerprint(const Fingerprint& print) {
    uint64_t h = print.total * kP5;
    for (uint32_t lane : print.lanes) {
        h = rotateLeft(h ^ (uint64_t(lane) * kP1), 27) * kP2 + kP4;
    }
    const uint8_t* p = print.tail;
    uint32_t left = print.tailLength;
    for (; left >= 8; left -= 8, p += 8) {
        h = rotateLeft(h ^ round64(0, load64(p)), 27) * kP1 + kP4;
    }
    for (; left > 0; --left, ++p) {
        h = rotateLeft(h ^ (*p * kP5), 11) * kP1;
    }
    return mixDown(h);
}

uint64_t saltedPrint(const LedgerSalt& salt, uint64_t raw) {
    return mixDown(mixDown(raw ^ salt.words[0]) + salt.words[1]);
}

void startKeyUseTrace(KeyUseTrace& trace, uint64_t length) {
    trace.prefix = uint32_t(length < kLedgerKeyPrefix ? length : kLedgerKeyPrefix);
    trace.dataRead = 0;
    startFingerprint(trace.dataPrefix);
    startFingerprint(trace.output);
    startFingerprint(trace.outputPrefix);
}

void traceData(KeyUseTrace& trace, const uint8_t* bytes, size_t count) {
    if (trace.dataRead < trace.prefix) {
        uint64_t take = trace.prefix - trace.dataRead;
        feedFingerprint(trace.dataPrefix, bytes, size_t(take < count ? take : count));
    }
    trace.dataRead += count;
}

void traceOutput(KeyUseTrace& trace, const uint8_t* bytes, size_t count) {
    if (trace.outputPrefix.total < trace.prefix) {
        uint64_t take = trace.prefix - trace.outputPrefix.total;
        feedFingerprint(trace.outputPrefix, bytes, size_t(take < count ? take : count));
    }
    feedFingerprint(trace.output, bytes, count);
}

size_t formatLedgerHeader(const LedgerSalt& salt, char* out) {
    size_t n = sizeof kHeaderLead - 1;
    std::memcpy(out, kHeaderLead, n);
    putHex(salt.words[0], out + n);
    putHex(salt.words[1], out + n + 16);
    n += 32;
    std::memcpy(out + n, "\r\n", 3);
    return n + 2;
}

bool parseLedgerHeader(const char* line, size_t length, LedgerSalt& salt) {
    const size_t lead = sizeof kHeaderLead - 1;
    const char* p = line + lead;
    const char* end = line + length;
    return length == lead + 32 && std::memcmp(line, kHeaderLead, lead) == 0 &&
           takeHex(p, end, salt.words[0]) && takeHex(p, end, salt.words[1]);
}

size_t formatKeyUse(const KeyUse& use, char* out) {
    char key[17] = "", data[17] = "", output[17] = "";
    putHex(use.keyPrint, key);
    putHex(use.dataPrint, data);
    putHex(use.outputPrint, output);
    int n = std::snprintf(out, kLedgerLineCapacity, "%.10s %u %s %llu %s %s\r\n", use.date,
                          unsigned(use.keyPrefix), key, static_cast<unsigned long long>(use.length), data,
                          output);
    return n > 0 ? size_t(n) : 0;
}

bool parseKeyUse(const char* line, size_t length, KeyUse& use) {
    const char* p = line;
    const char* end = line + length;
    if (length < 10) {
        return false;
    }
    for (int i = 0; i < 10; ++i) {
        bool dash = i == 4 || i == 7;
        if (dash ? line[i] != '-' : !(line[i] >= '0' && line[i] <= '9')) {
            return false;
        }
    }
    std::memcpy(use.date, line, 10);
    use.date[10] = '\0';
    p += 10;
    uint64_t prefix = 0;
    bool ok = takeChar(p, end, ' ') && takeDecimal(p, end, prefix) && prefix > 0 &&
              prefix <= kLedgerKeyPrefix && takeChar(p, end, ' ') && takeHex(p, end, use.keyPrint) &&
              takeChar(p, end, ' ') && takeDecimal(p, end, use.length) && takeChar(p, end, ' ') &&
              takeHex(p, end, use.dataPrint) && takeChar(p, end, ' ') && takeHex(p, end, use.outputPrint);
    use.keyPrefix = uint32_t(prefix);
    return ok && p == end;
}

bool keyUseCounts(const JobRequest& request, const FileLayer& files, uint64_t& length) {
    length = 0;
    if (request.direction != Encrypt || request.keyKind != KeyKind::File) {
        return false;
    }
    // XOR mode undoes itself: XORing a container is taking it apart, not encrypting.
    ContainerHeader header;
    if (request.mode == ModeXor && readContainerHeader(files, request.inputPath, header) == HeaderRead::Ok) {
        return false;
    }
    FileRef input = files.openRead(files.context, request.inputPath);
    if (input == kNoFile) {
        return false;
    }
    int64_t size = files.size(files.context, input);
    files.close(files.context, input);
    if (size < int64_t(kLedgerSmallestUse) || uint64_t(size) > request.keyBytes) {
        return false;
    }
    length = uint64_t(size);
    return true;
}

KeyUseCheck checkKeyUse(const JobRequest& request, const FileLayer& files, const LedgerFiles& ledger,
                        const JobOptions& options) {
    KeyUseCheck check{};
    uint64_t length = 0;
    KeyPrefix prefix;
    if (!keyUseCounts(request, files, length) || !readKeyPrefix(request, files, prefix)) {
        return check;
    }
    check.verdict = KeyUseVerdict::FirstUse;
    Findings found;
    if (scanLedger(ledger, prefix, length, nullptr, found) != Scan::Read || !found.keyKnown) {
        return check;
    }
    // Only a use of as many bytes can have been of this data: the job is run ahead, without its
    // output, to tell.
    KeyUseTrace trace{};
    startKeyUseTrace(trace, length);
    if (found.sameLength && traceJobPass(request, files, options, trace) && trace.dataRead == length) {
        found = Findings{};
        if (scanLedger(ledger, prefix, length, &trace, found) != Scan::Read) {
            return check;
        }
    }
    check.verdict = found.sameData    ? KeyUseVerdict::SameData
                    : found.madeByKey ? KeyUseVerdict::Decrypting
                                      : KeyUseVerdict::Reuse;
    copyText(found.firstOther, check.firstUsed);
    return check;
}

LedgerNote recordKeyUse(const JobRequest& request, const FileLayer& files, const LedgerFiles& ledger,
                        uint64_t length, const KeyUseTrace& trace) {
    KeyPrefix prefix;
    if (!readKeyPrefix(request, files, prefix) || prefix.count < trace.prefix) {
        return LedgerNote::NotWritten;
    }
    LedgerOpen opened = ledger.open(ledger.context);
    if (opened == LedgerOpen::Unreadable) {
        ledger.close(ledger.context);
        return LedgerNote::NotWritten;
    }
    // The new ledger is begun at once and dropped when nothing changes: a ledger on a medium that
    // cannot be written still answers for uses it already holds.
    bool writing = ledger.begin(ledger.context);
    LedgerSalt salt{};
    bool damaged = false;
    LineReader reader(ledger);
    char line[kLedgerLineCapacity];
    size_t n = 0;
    if (opened == LedgerOpen::Opened) {
        damaged = !(reader.next(line, n) && parseLedgerHeader(line, n, salt));
    }
    if (opened == LedgerOpen::Absent || damaged) {
        // Lines under a header that cannot be read have lost their salt: none can be matched.
        if (!ledger.random(ledger.context, reinterpret_cast<uint8_t*>(salt.words), sizeof salt.words)) {
            ledger.close(ledger.context);
            return LedgerNote::NotWritten;
        }
    }
    char header[kLedgerLineCapacity];
    writing = writing && writeLine(ledger, header, formatLedgerHeader(salt, header));
    const TracePrints prints = printsUnder(salt, &trace);
    bool known = false;
    KeyUse use;
    while (opened == LedgerOpen::Opened && !reader.failed && reader.next(line, n)) {
        if (damaged || !parseKeyUse(line, n, use)) {
            damaged = true;
            continue;
        }
        writing = writing && writeLine(ledger, line, n) && writeLine(ledger, "\r\n", 2);
        // Decrypting what the key made, or the same data again, is no new use.
        bool same = false, made = false;
        if (isThisKey(use, prefix, salt)) {
            matchUse(use, length, prints, same, made);
        }
        known = known || same || made;
    }
    if (reader.failed) {
        // A ledger read only in part must not be replaced by that part.
        ledger.close(ledger.context);
        return LedgerNote::NotWritten;
    }
    if (known && !damaged) {
        ledger.close(ledger.context);
        return LedgerNote::None;
    }
    if (!known) {
        KeyUse added{};
        today(added.date);
        added.keyPrefix = trace.prefix;
        added.keyPrint = saltedPrint(salt, rawPrint(prefix.bytes, trace.prefix));
        added.length = length;
        added.dataPrint = saltedPrint(salt, finishFingerprint(trace.dataPrefix));
        added.outputPrint = prints.output;
        writing = writing && writeLine(ledger, line, formatKeyUse(added, line));
    }
    writing = writing && ledger.commit(ledger.context);
    ledger.close(ledger.context);
    if (!writing) {
        return LedgerNote::NotWritten;
    }
    return damaged ? LedgerNote::Damaged : LedgerNote::None;
}

void composeKeyReuse(const char* date, char* out, size_t capacity) {
    std::snprintf(out, capacity,
                  "This key file has already encrypted other data on this computer (first on %s). A "
                  "key file is a one-time pad only while it encrypts one file: anyone who gets both "
                  "encrypted files can XOR them together, the key drops out, and what is left is the "
                  "two original files mixed, which can usually be read apart. Use a new key file for "
                  "this file.",
                  date);
}

void composeLedgerNote(LedgerNote note, const char* path, char* out, size_t capacity) {
    if (note == LedgerNote::Damaged) {
        std::snprintf(out, capacity,
                      "The key-use ledger \"%s\" was damaged. It has been rewritten without the "
                      "entries that could not be read; uses they recorded will not be recognised.",
                      path);
    } else if (note == LedgerNote::NotWritten) {
        std::snprintf(out, capacity,
                      "The key-use ledger \"%s\" could not be read or written, so this use of the "
                      "key file is not recorded: a later use of it for other data will not be "
                      "warned about.",
                      path);
    } else if (capacity > 0) {
        out[0] = '\0';
    }
}
