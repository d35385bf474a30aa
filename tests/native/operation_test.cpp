// The shared job operation over an in-memory file layer: outputs against the literal pass, and a
// fault at each file operation leaving nothing behind with the right result code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "engine/operation.h"
#include "engine/paths.h"
#include "engine/xorpass.h"
#include "support/literal_xor.h"

namespace {

using Bytes = std::vector<uint8_t>;

enum Call {
    OpenRead,
    CreateNew,
    Read,
    Write,
    Size,
    Seek,
    GetTimes,
    SetTimes,
    Close,
    Rename,
    Memory,
    CallKinds
};

// Files in memory; a fault makes every call of one kind on one file fail from its n-th on.
struct MemoryFiles {
    struct Entry {
        Bytes bytes;
        FileTimes times{};
    };
    struct Open {
        std::string path;
        size_t pos = 0;
    };
    std::map<std::string, Entry> files;
    std::vector<Open> open;
    std::string inputPath, keyPath;
    Call faultCall = CallKinds;
    std::string faultRole; // "input", "key", "output" (a temporary file) or "" for any
    int faultFrom = 1;
    int seen = 0;
    uint32_t unique = 7;
    uint64_t clock = 0x01D0000000000000ull;
    std::vector<uint32_t> progress;

    std::string roleOf(const std::string& path) const {
        return path == inputPath ? "input" : path == keyPath ? "key" : "output";
    }
    bool fails(Call call, const std::string& path) {
        if (call != faultCall || (!faultRole.empty() && roleOf(path) != faultRole)) {
            return false;
        }
        return ++seen >= faultFrom;
    }
    static MemoryFiles& of(void* c) { return *static_cast<MemoryFiles*>(c); }
    Open* handle(FileRef f) { return f >= 0 && size_t(f) < open.size() ? &open[size_t(f)] : nullptr; }

    static FileRef openRead(void* c, const char* path) {
        MemoryFiles& m = of(c);
        if (!m.files.count(path) || m.fails(OpenRead, path)) {
            return kNoFile;
        }
        m.open.push_back({path, 0});
        return FileRef(m.open.size() - 1);
    }
    static FileRef createNew(void* c, const char* path) {
        MemoryFiles& m = of(c);
        if (m.files.count(path) || m.fails(CreateNew, path)) {
            return kNoFile;
        }
        m.files[path].times = FileTimes{m.clock, m.clock + 1, m.clock + 2};
        m.open.push_back({path, 0});
        return FileRef(m.open.size() - 1);
    }
    static int64_t read(void* c, FileRef f, uint8_t* buffer, uint32_t count) {
        MemoryFiles& m = of(c);
        Open* o = m.handle(f);
        if (!o || m.fails(Read, o->path)) {
            return -1;
        }
        const Bytes& b = m.files[o->path].bytes;
        size_t n = std::min<size_t>(count, b.size() - std::min(o->pos, b.size()));
        std::copy(b.begin() + long(o->pos), b.begin() + long(o->pos + n), buffer);
        o->pos += n;
        return int64_t(n);
    }
    static bool write(void* c, FileRef f, const uint8_t* buffer, uint32_t count) {
        MemoryFiles& m = of(c);
        Open* o = m.handle(f);
        if (!o || m.fails(Write, o->path)) {
            return false;
        }
        Bytes& b = m.files[o->path].bytes;
        b.resize(std::max(b.size(), o->pos + count));
        std::copy(buffer, buffer + count, b.begin() + long(o->pos));
        o->pos += count;
        return true;
    }
    static int64_t size(void* c, FileRef f) {
        MemoryFiles& m = of(c);
        Open* o = m.handle(f);
        return !o || m.fails(Size, o->path) ? -1 : int64_t(m.files[o->path].bytes.size());
    }
    static bool seek(void* c, FileRef f, uint64_t to) {
        MemoryFiles& m = of(c);
        Open* o = m.handle(f);
        if (!o || m.fails(Seek, o->path)) {
            return false;
        }
        o->pos = size_t(to);
        return true;
    }
    static bool getTimes(void* c, FileRef f, FileTimes& t) {
        MemoryFiles& m = of(c);
        Open* o = m.handle(f);
        if (!o || m.fails(GetTimes, o->path)) {
            return false;
        }
        t = m.files[o->path].times;
        return true;
    }
    static bool setTimes(void* c, FileRef f, const FileTimes& t) {
        MemoryFiles& m = of(c);
        Open* o = m.handle(f);
        if (!o || m.fails(SetTimes, o->path)) {
            return false;
        }
        m.files[o->path].times = t;
        return true;
    }
    static bool close(void* c, FileRef f) {
        MemoryFiles& m = of(c);
        Open* o = m.handle(f);
        if (!o || o->path.empty()) {
            ADD_FAILURE() << "closed twice or never opened";
            return false;
        }
        bool ok = !m.fails(Close, o->path);
        o->path.clear();
        return ok;
    }
    static bool sameFile(void*, const char* path, FileRef, const char* openPath) {
        return std::string(path) == openPath;
    }
    static bool exists(void* c, const char* path) { return of(c).files.count(path) != 0; }
    static uint32_t attributes(void*, const char*) { return 0x20; }
    static void makeFolder(void*, const char*) {}
    static bool rename(void* c, const char* from, const char* to, bool replace) {
        MemoryFiles& m = of(c);
        if (!m.files.count(from) || (!replace && m.files.count(to)) || m.fails(Rename, from)) {
            return false;
        }
        m.files[to] = m.files[from];
        m.files.erase(from);
        return true;
    }
    static bool remove(void* c, const char* path) { return of(c).files.erase(path) != 0; }
    static uint32_t uniqueNumber(void* c) { return of(c).unique; }
    static void* takeMemory(void* c, size_t bytes) {
        return of(c).fails(Memory, "") ? nullptr : std::calloc(bytes, 1);
    }
    static void releaseMemory(void*, void* p) { std::free(p); }
    static void onProgress(void* c, uint32_t p) { of(c).progress.push_back(p); }

    FileLayer layer() {
        // By member name: a reordered layer cannot wire the wrong function.
        FileLayer l{};
        l.context = this;
        l.separator = '/';
        l.openRead = openRead;
        l.createNew = createNew;
        l.read = read;
        l.write = write;
        l.size = size;
        l.seek = seek;
        l.getTimes = getTimes;
        l.setTimes = setTimes;
        l.close = close;
        l.sameFile = sameFile;
        l.exists = exists;
        l.attributes = attributes;
        l.makeFolder = makeFolder;
        l.rename = rename;
        l.remove = remove;
        l.uniqueNumber = uniqueNumber;
        l.takeMemory = takeMemory;
        l.releaseMemory = releaseMemory;
        l.progress = onProgress;
        return l;
    }
};

constexpr uint32_t kQ = 64; // a small chunk, so that 300 bytes cross four boundaries

Bytes pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        b[i] = uint8_t(seed + 29 * i + (i >> 3));
    }
    return b;
}

struct Job {
    JobRequest request;
    JobOptions options{kQ, kQ + 50, false};
    JobOutcome outcome{};

    Job() { resetJobRequest(request); }
    JobOutcome run(MemoryFiles& m) {
        outcome = runJobOperation(request, m.layer(), options);
        return outcome;
    }
};

// Sets up a job over /in/a.txt into /out with a key string or a key file of keyBytes used bytes.
void describe(Job& j, MemoryFiles& m, CipherMode mode, const std::string& keyText, const Bytes* keyFile,
              uint32_t keyBytes) {
    copyText("/in/a.txt", j.request.inputPath);
    copyText("/out", j.request.outputFolder);
    j.request.mode = mode;
    j.request.direction = Encrypt;
    m.inputPath = "/in/a.txt";
    if (keyFile) {
        m.keyPath = "/keys/k.bin";
        m.files[m.keyPath].bytes = *keyFile;
        copyText(m.keyPath.c_str(), j.request.keyPath);
        j.request.keyKind = KeyKind::File;
        j.request.keyBytes = keyBytes;
    } else {
        j.request.keyKind = KeyKind::Text;
        copyText(keyText.c_str(), j.request.keyText);
    }
}

Bytes expected(const Bytes& plain, const std::string& keyText, const Bytes* keyFile, uint32_t keyBytes) {
    if (keyFile) {
        return literalXorPass(plain, *keyFile, true, keyBytes, kQ);
    }
    uint8_t key[1024];
    uint32_t n = expandKeyString(keyText.c_str(), key, sizeof key);
    return literalXorPass(plain, Bytes(key, key + n), false, n, kQ);
}

TEST(JobOperation, OutputsMatchTheLiteralPassInEveryModeAndDecryptBack) {
    const Bytes plain = pattern(300, 3);
    const Bytes shortKey = pattern(50, 9), longKey = pattern(400, 11);
    struct Case {
        CipherMode mode;
        const char* keyText;
        const Bytes* keyFile;
        uint32_t keyBytes;
        bool description, saveKeyName;
        const char* outputName;
    } cases[] = {
        {ModeXor, "k", nullptr, 0, false, false, "XOR a.txt"},
        {ModeXor, "", nullptr, 0, false, false, "XOR a.txt"},
        {ModeXor, "", &shortKey, 50, false, false, "XOR a.txt"},
        {ModeXor, "", &longKey, 400, false, false, "XOR a.txt"},
        {ModeXor, "", &longKey, 130, false, false, "XOR a.txt"}, // "use 130 bytes"
        {ModeClassic, "correct horse", nullptr, 0, true, false, "a.qdx"},
        {ModeClassic, "", &longKey, 400, false, true, "a.qdx"},
        {ModeClassic, "", &shortKey, 50, true, true, "a.qdx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.outputName) + " key " +
                     (c.keyFile ? std::to_string(c.keyBytes) : c.keyText));
        MemoryFiles m;
        m.files["/in/a.txt"].bytes = plain;
        Job j;
        describe(j, m, c.mode, c.keyText, c.keyFile, c.keyBytes);
        j.request.useDescription = c.description;
        copyText("Quarterly", j.request.description);
        j.request.saveKeyName = c.saveKeyName;
        ASSERT_EQ(j.run(m).result, ResultOk) << int(j.outcome.failedAt);
        std::string out = std::string("/out/") + c.outputName;
        EXPECT_EQ(std::string(j.outcome.outputPath), out);
        ASSERT_EQ(m.files.count(out), 1u);
        EXPECT_EQ(m.files.size(), c.keyFile ? 3u : 2u) << "a temporary file stayed";
        EXPECT_EQ(m.progress, (std::vector<uint32_t>{121, 142, 164, 185}));
        const Bytes& written = m.files[out].bytes;
        Bytes xored = expected(plain, c.keyText, c.keyFile, c.keyBytes);
        if (c.mode == ModeXor) {
            EXPECT_EQ(written, xored);
            continue;
        }
        ContainerHeader header;
        ASSERT_EQ(readContainerHeader(m.layer(), out.c_str(), header), HeaderRead::Ok);
        EXPECT_STREQ(header.plainName, "a.txt");
        EXPECT_EQ(header.hasDescription, uint32_t(c.description));
        EXPECT_STREQ(header.keyPath, c.saveKeyName ? "/keys/k.bin" : "");
        EXPECT_EQ(header.creationTime, m.clock);
        EXPECT_EQ(header.lastWriteTime, m.clock + 2);
        EXPECT_EQ(header.attributes, 0x20);
        EXPECT_EQ(Bytes(written.begin() + header.headerLength, written.end()), xored);

        // Back again, as the tool's decrypt drives it: the header read, the stored times applied.
        Job back;
        describe(back, m, ModeClassic, c.keyText, c.keyFile, c.keyBytes);
        copyText(out.c_str(), back.request.inputPath);
        m.inputPath = out;
        storedFileFromHeader(header, back.request.stored);
        back.request.direction = Decrypt;
        copyText("/back", back.request.outputFolder);
        m.files[out].times = FileTimes{1, 2, 3};
        ASSERT_EQ(back.run(m).result, ResultOk);
        EXPECT_TRUE(back.outcome.timesSet);
        EXPECT_EQ(m.files["/back/a.txt"].bytes, plain);
        EXPECT_EQ(m.files["/back/a.txt"].times.lastAccess, m.clock + 1);
    }
}

TEST(JobOperation, AFaultAnywhereLeavesNoOutputAndGivesItsCode) {
    const Bytes plain = pattern(300, 5);
    const Bytes key = pattern(200, 6); // longer than a chunk: read in several portions
    struct Case {
        const char* what;
        CipherMode mode;
        bool keyFile;
        Call call;
        const char* role;
        int from;
        uint32_t result;
        JobStep step;
    } cases[] = {
        {"no memory", ModeXor, false, Memory, "", 1, ResultNoMemory, JobStep::NoMemory},
        {"second buffer", ModeXor, false, Memory, "", 2, ResultNoMemory, JobStep::NoMemory},
        {"no second data buffer: one thread", ModeXor, true, Memory, "", 3, ResultOk, JobStep::None},
        {"key will not open", ModeXor, true, OpenRead, "key", 1, ResultNoKey, JobStep::KeyUnreadable},
        {"key size", ModeXor, true, Size, "key", 1, ResultNoKey, JobStep::KeyShort},
        {"first key read", ModeXor, true, Read, "key", 1, ResultNoKey, JobStep::KeyUnreadable},
        {"later key read", ModeXor, true, Read, "key", 2, ResultNoKey, JobStep::KeyUnreadable},
        {"input will not open", ModeXor, false, OpenRead, "input", 1, ResultReadError,
         JobStep::InputUnreadable},
        {"input size", ModeClassic, false, Size, "input", 1, ResultReadError, JobStep::InputUnreadable},
        {"input seek", ModeXor, false, Seek, "input", 1, ResultReadError, JobStep::InputUnreadable},
        {"first data read", ModeXor, false, Read, "input", 1, ResultReadError, JobStep::InputUnreadable},
        {"data read half-way", ModeClassic, true, Read, "input", 3, ResultReadError,
         JobStep::InputUnreadable},
        {"no temporary file", ModeXor, false, CreateNew, "", 1, ResultWriteError, JobStep::OutputNotCreated},
        {"header write", ModeClassic, false, Write, "output", 1, ResultWriteError, JobStep::WriteFailed},
        {"header times", ModeClassic, false, GetTimes, "output", 1, ResultWriteError, JobStep::WriteFailed},
        {"second header write", ModeClassic, false, Write, "output", 2, ResultWriteError,
         JobStep::WriteFailed},
        {"write half-way", ModeXor, true, Write, "output", 3, ResultWriteError, JobStep::WriteFailed},
        {"last write", ModeXor, false, Write, "output", 5, ResultWriteError, JobStep::WriteFailed},
        {"closing the output", ModeXor, false, Close, "output", 1, ResultWriteError, JobStep::WriteFailed},
        {"moving into place", ModeClassic, true, Rename, "", 1, ResultWriteError, JobStep::MoveFailed},
        {"closing the input", ModeXor, true, Close, "input", 1, ResultOk, JobStep::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFiles m;
        m.files["/in/a.txt"].bytes = plain;
        m.files["/out/XOR a.txt"].bytes = {1, 2, 3}; // an older output
        m.files["/out/a.qdx"].bytes = {4, 5};
        Job j;
        j.options.replaceOutput = true;
        describe(j, m, c.mode, "k", c.keyFile ? &key : nullptr, 200);
        m.faultCall = c.call;
        m.faultRole = c.role;
        m.faultFrom = c.from;
        JobOutcome outcome = j.run(m);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(int(outcome.failedAt), int(c.step));
        EXPECT_EQ(m.files.size(), c.keyFile ? 4u : 3u) << "a temporary file stayed";
        EXPECT_EQ(m.files["/in/a.txt"].bytes, plain);
        if (c.result != ResultOk) {
            EXPECT_EQ(m.files["/out/XOR a.txt"].bytes, Bytes({1, 2, 3}));
            EXPECT_EQ(m.files["/out/a.qdx"].bytes, Bytes({4, 5}));
        }
        for (const auto& o : m.open) {
            EXPECT_TRUE(o.path.empty()) << o.path << " left open";
        }
    }
}

TEST(JobOperation, RefusalsBeforeAnyOutput) {
    const Bytes plain = pattern(300, 5);
    const Bytes key = pattern(100, 6);
    struct Case {
        const char* what;
        void (*change)(Job&, MemoryFiles&);
        uint32_t result;
        JobStep step;
    } cases[] = {
        {"output exists, no replacing", [](Job&, MemoryFiles& m) { m.files["/out/XOR a.txt"].bytes = {9}; },
         ResultWriteError, JobStep::OutputExists},
        {"output is the input",
         [](Job& j, MemoryFiles& m) {
             m.files["/in/a.qdx"].bytes = {9};
             m.inputPath = "/in/a.qdx";
             copyText("/in/a.qdx", j.request.inputPath);
             copyText("/in", j.request.outputFolder);
             j.request.mode = ModeClassic;
             j.options.replaceOutput = true;
         },
         ResultWriteError, JobStep::OutputIsInput},
        {"output is the key",
         [](Job& j, MemoryFiles& m) {
             m.files["/keys/XOR a.txt"].bytes = pattern(100, 6);
             m.keyPath = "/keys/XOR a.txt";
             copyText("/keys/XOR a.txt", j.request.keyPath);
             copyText("/keys/", j.request.outputFolder);
             j.options.replaceOutput = true;
         },
         ResultWriteError, JobStep::OutputIsKey},
        {"key file is the input",
         [](Job& j, MemoryFiles& m) {
             m.keyPath = "/in/a.txt";
             copyText("/in/a.txt", j.request.keyPath);
         },
         ResultNoKey, JobStep::KeyIsInput},
        {"key file shorter than its byte count", [](Job& j, MemoryFiles&) { j.request.keyBytes = 101; },
         ResultNoKey, JobStep::KeyShort},
        {"empty key file", [](Job& j, MemoryFiles&) { j.request.keyBytes = 0; }, ResultNoKey,
         JobStep::KeyNotReady},
        {"container shorter than its header",
         [](Job& j, MemoryFiles&) {
             j.request.direction = Decrypt;
             j.request.mode = ModeClassic;
             copyText("a.txt", j.request.stored.plainName);
             j.request.stored.headerLength = 336;
         },
         ResultReadError, JobStep::InputTruncated},
        {"no name to write",
         [](Job& j, MemoryFiles&) {
             j.request.direction = Decrypt;
             j.request.mode = ModeClassic;
         },
         ResultWriteError, JobStep::NameUnusable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFiles m;
        m.files["/in/a.txt"].bytes = plain;
        Job j;
        describe(j, m, ModeXor, "", &key, 100);
        c.change(j, m);
        size_t before = m.files.size();
        std::map<std::string, MemoryFiles::Entry> was = m.files;
        JobOutcome outcome = j.run(m);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(int(outcome.failedAt), int(c.step));
        ASSERT_EQ(m.files.size(), before);
        for (const auto& [path, entry] : was) {
            EXPECT_EQ(m.files[path].bytes, entry.bytes) << path;
        }
    }
}

TEST(JobOperation, TakenTemporaryNamesAreSkippedAndTimesThatWillNotSetKeepTheFile) {
    const Bytes plain = pattern(90, 1);
    MemoryFiles m;
    m.files["/in/a.txt"].bytes = plain;
    m.unique = 0x12345678;
    char taken[64];
    ASSERT_TRUE(partialFilePath("/out", "nbr", "XOR a.txt", m.unique, taken, sizeof taken, '/'));
    m.files[taken].bytes = {7}; // someone else's: the first name the job would pick
    Job j;
    describe(j, m, ModeXor, "k", nullptr, 0);
    ASSERT_EQ(j.run(m).result, ResultOk);
    EXPECT_EQ(m.files[taken].bytes, Bytes{7});
    EXPECT_EQ(m.files.size(), 3u);

    // A decryption whose times cannot be set still delivers its file, and says so.
    ContainerHeader header{};
    copyText("b.txt", header.plainName);
    header.creationTime = 5;
    uint8_t bytes[kMaxHeaderLength];
    Bytes container(bytes, bytes + encodeHeader(header, bytes));
    Bytes payload = expected(plain, "k", nullptr, 0);
    container.insert(container.end(), payload.begin(), payload.end());
    m.files["/in/b.qdx"].bytes = container;
    Job back;
    describe(back, m, ModeClassic, "k", nullptr, 0);
    copyText("/in/b.qdx", back.request.inputPath);
    ASSERT_EQ(readContainerHeader(m.layer(), "/in/b.qdx", header), HeaderRead::Ok);
    storedFileFromHeader(header, back.request.stored);
    back.request.direction = Decrypt;
    m.faultCall = SetTimes;
    ASSERT_EQ(back.run(m).result, ResultOk);
    EXPECT_FALSE(back.outcome.timesSet);
    EXPECT_EQ(m.files["/out/b.txt"].bytes, plain);
}

// The key-use ledger in memory: what it holds, and where reading or replacing it fails.
struct MemoryLedger {
    std::string stored;
    bool present = false;
    size_t readFailsAt = SIZE_MAX; // the byte at which a read fails
    bool beginFails = false, commitFails = false;
    size_t at = 0;
    std::string pending;
    bool writing = false;

    static MemoryLedger& of(void* c) { return *static_cast<MemoryLedger*>(c); }
    static LedgerOpen open(void* c) {
        of(c).at = 0;
        return of(c).present ? LedgerOpen::Opened : LedgerOpen::Absent;
    }
    static int64_t read(void* c, uint8_t* buffer, uint32_t count) {
        MemoryLedger& l = of(c);
        size_t n = std::min<size_t>(count, std::min(l.stored.size(), l.readFailsAt) - l.at);
        if (n == 0 && l.at == l.readFailsAt) {
            return -1;
        }
        std::copy(l.stored.begin() + long(l.at), l.stored.begin() + long(l.at + n), buffer);
        l.at += n;
        return int64_t(n);
    }
    static bool begin(void* c) {
        of(c).pending.clear();
        of(c).writing = !of(c).beginFails;
        return of(c).writing;
    }
    static bool write(void* c, const uint8_t* b, uint32_t n) {
        of(c).pending.append(reinterpret_cast<const char*>(b), n);
        return true;
    }
    static bool commit(void* c) {
        MemoryLedger& l = of(c);
        if (l.commitFails || !l.writing) {
            return false;
        }
        l.stored = l.pending;
        l.present = true;
        return true;
    }
    static void close(void* c) { of(c).writing = false; }
    static bool random(void*, uint8_t* b, size_t n) {
        std::fill(b, b + n, uint8_t(0x5A));
        return true;
    }
    LedgerFiles files() {
        LedgerFiles f{};
        f.context = this;
        f.open = open;
        f.read = read;
        f.begin = begin;
        f.write = write;
        f.commit = commit;
        f.close = close;
        f.random = random;
        f.path = "/data/KeyLedger.txt";
        return f;
    }
};

// Over several chunks, with the writer on a thread of its own: the pass's fingerprints must be
// the ones taken before the job, and no failure to read or replace the ledger may cost an entry.
TEST(JobOperation, TheKeyLedgerKnowsEachUseOnceAndNeverLosesAnEntry) {
    const Bytes a = pattern(300, 3), b = pattern(300, 5), pad = pattern(400, 11);
    MemoryFiles m;
    MemoryLedger ledger;
    const LedgerFiles files = ledger.files();
    auto job = [&](const Bytes* data, const std::string& input, const char* out) {
        Job j;
        describe(j, m, ModeXor, "", &pad, 400);
        if (data) {
            m.files[input].bytes = *data;
        }
        copyText(input.c_str(), j.request.inputPath);
        m.inputPath = input;
        copyText(out, j.request.outputFolder);
        j.options.ledger = &files;
        return j;
    };
    Job first = job(&a, "/in/a.txt", "/out");
    EXPECT_EQ(checkKeyUse(first.request, m.layer(), files, first.options).verdict, KeyUseVerdict::FirstUse);
    ASSERT_EQ(first.run(m).result, ResultOk);
    EXPECT_EQ(first.outcome.ledger, LedgerNote::None);
    const std::string good = ledger.stored;
    ASSERT_EQ(std::count(good.begin(), good.end(), '\n'), 2);

    struct Case {
        const char* what;
        const Bytes* data; // none: the first job's output, decrypted
        std::string ledger;
        size_t readFailsAt;
        bool beginFails, commitFails;
        KeyUseVerdict verdict;
        LedgerNote note;
        std::string after; // "" when the ledger must hold one more line than `ledger`
    } cases[] = {
        {"the same data", &a, good, SIZE_MAX, false, false, KeyUseVerdict::SameData, LedgerNote::None, good},
        {"decryption", nullptr, good, SIZE_MAX, false, false, KeyUseVerdict::Decrypting, LedgerNote::None,
         good},
        {"a damaged line", &a, good + "2026-01-01 junk\r\n", SIZE_MAX, false, false, KeyUseVerdict::SameData,
         LedgerNote::Damaged, good},
        {"a line cut off by the end", &a, good + "2026-01-01 4", SIZE_MAX, false, false,
         KeyUseVerdict::SameData, LedgerNote::Damaged, good},
        {"a read that fails half-way", &a, good, 80, false, false, KeyUseVerdict::FirstUse,
         LedgerNote::NotWritten, good},
        {"other data", &b, good, SIZE_MAX, false, false, KeyUseVerdict::Reuse, LedgerNote::None, ""},
        {"other data, no new ledger", &b, good, SIZE_MAX, true, false, KeyUseVerdict::Reuse,
         LedgerNote::NotWritten, good},
        {"other data, replacing fails", &b, good, SIZE_MAX, false, true, KeyUseVerdict::Reuse,
         LedgerNote::NotWritten, good},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ledger.stored = c.ledger;
        ledger.readFailsAt = c.readFailsAt;
        ledger.beginFails = c.beginFails;
        ledger.commitFails = c.commitFails;
        m.files.erase("/back/XOR XOR a.txt");
        m.files.erase("/other/XOR a.txt");
        m.files.erase("/other/XOR b.txt");
        Job j = c.data ? job(c.data, c.data == &a ? "/in/a.txt" : "/in/b.txt", "/other")
                       : job(nullptr, "/out/XOR a.txt", "/back");
        EXPECT_EQ(checkKeyUse(j.request, m.layer(), files, j.options).verdict, c.verdict);
        ASSERT_EQ(j.run(m).result, ResultOk);
        EXPECT_EQ(j.outcome.ledger, c.note);
        if (c.after.empty()) {
            EXPECT_EQ(ledger.stored.substr(0, c.ledger.size()), c.ledger);
            EXPECT_EQ(std::count(ledger.stored.begin(), ledger.stored.end(), '\n'), 3);
        } else {
            EXPECT_EQ(ledger.stored, c.after);
        }
    }
}

} // namespace
