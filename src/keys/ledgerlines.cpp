#include "keys/ledgerlines.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

constexpr char kHeaderLead[] = "Nimbrel key-use ledger ";
constexpr char kSaltLead[] = " salt ";
constexpr char kJobLead[] = " job ";

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

// A fingerprint, or "-" for one not known.
bool takePrint(const char*& p, const char* end, uint64_t& value, bool& known) {
    known = !(p < end && *p == '-');
    if (!known) {
        ++p;
        value = 0;
        return true;
    }
    return takeHex(p, end, value);
}

bool takeDecimal(const char*& p, const char* end, uint64_t& value) {
    const char* start = p;
    value = 0;
    while (p < end && *p >= '0' && *p <= '9' && p - start < 12) {
        value = value * 10 + uint64_t(*p++ - '0');
    }
    return p != start && p - start < 12;
}

bool takeText(const char*& p, const char* end, const char* text) {
    size_t n = std::strlen(text);
    if (size_t(end - p) < n || std::memcmp(p, text, n) != 0) {
        return false;
    }
    p += n;
    return true;
}

bool takeDate(const char*& p, const char* end, char (&date)[11]) {
    if (end - p < 10) {
        return false;
    }
    for (int i = 0; i < 10; ++i) {
        bool dash = i == 4 || i == 7;
        if (dash ? p[i] != '-' : !(p[i] >= '0' && p[i] <= '9')) {
            return false;
        }
    }
    std::memcpy(date, p, 10);
    date[10] = '\0';
    p += 10;
    return true;
}

char* putPrint(char* out, bool known, uint64_t value) {
    *out++ = ' ';
    if (!known) {
        *out++ = '-';
        return out;
    }
    putHex(value, out);
    return out + 16;
}

} // namespace

uint32_t parseLedgerHeader(const char* line, size_t length, LedgerSalt& salt) {
    const char* p = line;
    const char* end = line + length;
    if (!takeText(p, end, kHeaderLead) || p == end || (*p != '1' && *p != '2')) {
        return 0;
    }
    uint32_t version = uint32_t(*p++ - '0');
    bool ok = takeText(p, end, kSaltLead) && takeHex(p, end, salt.words[0]) && takeHex(p, end, salt.words[1]);
    return ok && p == end ? version : 0;
}

size_t formatLedgerHeader(const LedgerSalt& salt, char (&out)[kLedgerLineCapacity]) {
    char* p = out;
    for (const char* part : {kHeaderLead, "2", kSaltLead}) {
        size_t n = std::strlen(part);
        std::memcpy(p, part, n);
        p += n;
    }
    putHex(salt.words[0], p);
    putHex(salt.words[1], p + 16);
    p += 32;
    std::memcpy(p, "\r\n", 3);
    return size_t(p - out) + 2;
}

bool parseKeyUse(const char* line, size_t length, uint32_t version, KeyUse& use) {
    std::memset(&use, 0, sizeof use);
    const char* p = line;
    const char* end = line + length;
    uint64_t prefix = 0;
    bool ok = takeDate(p, end, use.date) && takeText(p, end, " ") && takeDecimal(p, end, prefix) &&
              prefix > 0 && prefix <= kLedgerKeyPrefix && takeText(p, end, " ") &&
              takeHex(p, end, use.keyPrint) && takeText(p, end, " ") && takeDecimal(p, end, use.length) &&
              use.length > 0 && takeText(p, end, " ");
    use.keyPrefix = uint32_t(prefix);
    if (!ok) {
        return false;
    }
    if (version == 1) {
        // The data's own fingerprint is read past and never kept.
        uint64_t unkeyed = 0;
        use.hasOutput = true;
        return takeHex(p, end, unkeyed) && takeText(p, end, " ") && takeHex(p, end, use.outputPrint) &&
               p == end;
    }
    ok = takePrint(p, end, use.dataPrint, use.hasData) && takeText(p, end, " ") &&
         takePrint(p, end, use.outputHeadPrint, use.hasOutputHead) && takeText(p, end, " ") &&
         takePrint(p, end, use.outputPrint, use.hasOutput);
    if (ok && p != end) {
        ok = takeText(p, end, kJobLead) && takeHex(p, end, use.job) && use.job != 0;
    }
    return ok && p == end;
}

size_t formatKeyUse(const KeyUse& use, char (&out)[kLedgerLineCapacity]) {
    char key[17] = "";
    putHex(use.keyPrint, key);
    int n = std::snprintf(out, sizeof out, "%.10s %u %s %llu", use.date, unsigned(use.keyPrefix), key,
                          static_cast<unsigned long long>(use.length));
    if (n <= 0) {
        return 0;
    }
    char* p = out + n;
    p = putPrint(p, use.hasData, use.dataPrint);
    p = putPrint(p, use.hasOutputHead, use.outputHeadPrint);
    p = putPrint(p, use.hasOutput, use.outputPrint);
    if (use.job != 0) {
        std::memcpy(p, kJobLead, sizeof kJobLead - 1);
        p += sizeof kJobLead - 1;
        putHex(use.job, p);
        p += 16;
    }
    std::memcpy(p, "\r\n", 3);
    return size_t(p - out) + 2;
}

bool LedgerLineReader::fill() {
    if (atEnd || failed) {
        return false;
    }
    std::memmove(buffer, buffer + start, end - start);
    end -= start;
    start = 0;
    int64_t got = read(context, buffer + end, uint32_t(sizeof buffer - end));
    failed = got < 0;
    atEnd = got == 0;
    if (got > 0) {
        if (copy) {
            copy(copyContext, buffer + end, size_t(got));
        }
        end += size_t(got);
    }
    return got > 0;
}

bool LedgerLineReader::next(char (&line)[kLedgerLineCapacity], size_t& length) {
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
