// The job runner with the key-use ledger in memory: what each front end is asked and told, what
// the ledger holds afterwards, and that two copies of the program never both pass the check.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "keys/fingerprint.h"
#include "keys/jobrunner.h"
#include "support/memory_files.h"

namespace {

using namespace memory_files;

// The ledger's files in memory, shared by every copy of the program: a lock held from open to
// close, holds that live until released or until their process "ends", and the faults a real
// ledger meets.
struct MemoryLedger {
    std::mutex lock;
    std::atomic<std::thread::id> owner{};
    std::string stored;
    bool present = false;
    std::vector<std::string> asides; // copies kept whole
    size_t readFailsAt = SIZE_MAX;
    bool busy = false, unreadable = false, noPlace = false, beginFails = false;
    size_t commitsBeforeFailing = SIZE_MAX;
    // While locked.
    size_t at = 0;
    std::string pending, pendingAside;
    bool writing = false, asideWriting = false;
    std::mutex holdsLock;
    std::set<uint64_t> holds;
    uint64_t nextRandom = 1;

    static MemoryLedger& of(void* c) { return *static_cast<MemoryLedger*>(c); }
    static LedgerOpen open(void* c) {
        MemoryLedger& l = of(c);
        if (l.busy || l.unreadable || l.noPlace) {
            return l.busy ? LedgerOpen::Busy : l.unreadable ? LedgerOpen::Unreadable : LedgerOpen::NoPlace;
        }
        l.lock.lock();
        l.owner = std::this_thread::get_id();
        l.at = 0;
        return l.present ? LedgerOpen::Opened : LedgerOpen::Absent;
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
    static bool beginAside(void* c) {
        of(c).pendingAside.clear();
        of(c).asideWriting = true;
        return true;
    }
    static bool writeAside(void* c, const uint8_t* b, uint32_t n) {
        of(c).pendingAside.append(reinterpret_cast<const char*>(b), n);
        return true;
    }
    static bool commit(void* c) {
        MemoryLedger& l = of(c);
        if (l.commitsBeforeFailing == 0 || !l.writing) {
            return false;
        }
        --l.commitsBeforeFailing;
        if (l.asideWriting) {
            l.asides.push_back(l.pendingAside);
            l.asideWriting = false;
        }
        l.stored = l.pending;
        l.present = true;
        l.writing = false;
        return true;
    }
    static void close(void* c) {
        MemoryLedger& l = of(c);
        if (l.owner == std::this_thread::get_id()) {
            l.writing = l.asideWriting = false;
            l.owner = std::thread::id{};
            l.lock.unlock();
        }
    }
    static bool random(void* c, uint8_t* b, size_t n) {
        // Distinct values, so that every hold has a number of its own.
        MemoryLedger& l = of(c);
        std::lock_guard<std::mutex> hold(l.holdsLock);
        for (size_t i = 0; i < n; ++i) {
            b[i] = uint8_t(l.nextRandom * 0x9E3779B1u >> (8 * (i % 4)));
        }
        ++l.nextRandom;
        return true;
    }
    static bool hold(void* c, uint64_t id) {
        std::lock_guard<std::mutex> hold(of(c).holdsLock);
        return of(c).holds.insert(id).second;
    }
    static void release(void* c, uint64_t id) {
        std::lock_guard<std::mutex> hold(of(c).holdsLock);
        of(c).holds.erase(id);
    }
    static bool held(void* c, uint64_t id) {
        std::lock_guard<std::mutex> hold(of(c).holdsLock);
        return of(c).holds.count(id) != 0;
    }
    // The process of every hold ends.
    void endEveryProcess() {
        std::lock_guard<std::mutex> hold(holdsLock);
        holds.clear();
    }
    LedgerFiles files() {
        LedgerFiles f{};
        f.context = this;
        f.open = open;
        f.read = read;
        f.begin = begin;
        f.write = write;
        f.beginAside = beginAside;
        f.writeAside = writeAside;
        f.commit = commit;
        f.close = close;
        f.random = random;
        f.hold = hold;
        f.release = release;
        f.held = held;
        f.path = "/data/KeyLedger.txt";
        f.asidePath = "/data/KeyLedger.damaged.txt";
        return f;
    }
    size_t lines() const { return size_t(std::count(stored.begin(), stored.end(), '\n')); }
};

// What a front end was asked and told; it answers every question alike.
struct Front {
    bool agree = false;
    std::vector<LedgerSituation> asked, told;
    std::function<void()> onAsk;

    static bool ask(void* c, LedgerSituation s, const char*) {
        auto& f = *static_cast<Front*>(c);
        f.asked.push_back(s);
        if (f.onAsk) {
            f.onAsk();
        }
        return f.agree;
    }
    static void tell(void* c, LedgerSituation s, const char*) { static_cast<Front*>(c)->told.push_back(s); }
    // The verdict, taken when asked for.
    bool judge = false;
    KeyJudgement judgement{};
    std::string verdict;
    static bool judged(void* c, const KeyJudgement& j) {
        auto& f = *static_cast<Front*>(c);
        f.judgement = j;
        char line[2048];
        composeKeyJudgement(j, line, sizeof line);
        f.verdict = line;
        return true;
    }
    JobRunHooks hooks() { return JobRunHooks{this, ask, tell, judge ? judged : nullptr}; }
};

constexpr size_t kSize = 300; // over several chunks of kQ, with the writer on a thread of its own

// One copy of the program: files of its own (a key file byte for byte like every other copy's),
// the shared ledger.
struct Copy {
    MemoryFiles m;
    Job j;
    Front front;
    JobRun run{};

    Copy(const Bytes& key, const Bytes& data, const char* out = "/out") {
        describe(j, m, ModeXor, "", &key, uint32_t(key.size()));
        m.files["/in/a.txt"].bytes = data;
        copyText(out, j.request.outputFolder);
    }
    // The output of this copy's last job, XORed back as its input.
    void decryptLast() {
        m.files["/in/a.txt"].bytes = m.files["/out/XOR a.txt"].bytes;
        copyText("/back", j.request.outputFolder);
    }
    uint32_t go(MemoryLedger& ledger) {
        const LedgerFiles files = ledger.files();
        run = runJob(j.request, m.layer(), j.options, &files, front.hooks());
        return run.outcome.result;
    }
    bool wrote() const { return m.files.count("/out/XOR a.txt") || m.files.count("/back/XOR a.txt"); }
};

std::string hexOf(uint64_t v) {
    char t[17];
    std::snprintf(t, sizeof t, "%016llx", static_cast<unsigned long long>(v));
    return t;
}

// The ledger's own lines, as a reader of the file would find them.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

const Bytes kPad1 = pattern(400, 11), kPad2 = pattern(400, 23), kPad3 = pattern(400, 37);
const Bytes kA = pattern(kSize, 3), kB = pattern(kSize, 5), kC = pattern(kSize, 7), kD = pattern(kSize, 13);

// Three first uses: pad 1 on A, pad 2 on C, pad 3 on D.
std::string threeUses(MemoryLedger& ledger) {
    for (auto [pad, data] : {std::pair{&kPad1, &kA}, {&kPad2, &kC}, {&kPad3, &kD}}) {
        Copy c(*pad, *data);
        EXPECT_EQ(c.go(ledger), ResultOk);
    }
    EXPECT_EQ(ledger.lines(), 4u);
    return ledger.stored;
}

std::string withLine(const std::string& ledger, size_t at, const std::string& line) {
    std::vector<std::string> lines = linesOf(ledger);
    std::string out;
    for (size_t i = 0; i <= lines.size(); ++i) {
        if (i == at) {
            out += line + "\r\n";
        }
        if (i < lines.size() && !lines[i].empty()) {
            out += lines[i] + "\n";
        }
    }
    return out;
}

TEST(JobRunner, EveryFrontEndIsAskedWhatTheLedgerCannotVouchForAndTheLedgerForgetsNothing) {
    MemoryLedger base;
    const std::string three = threeUses(base);
    const std::string junk = "2026-13-45 not a line";
    std::string badHeader = three;
    badHeader[3] = 'X';
    struct Row {
        const char* what;
        std::string ledger; // before the job ("" for none)
        const Bytes* pad;   // the key of the job, on...
        const Bytes* data;  // ...this data (null: pad 1's output of A, XORed back)
        bool agree;         // the answer to every question
        std::vector<LedgerSituation> asked, told;
        uint32_t result;
        int lines;      // the ledger's lines afterwards; -1: as it was
        bool keptAside; // the ledger as it was is kept whole aside
        std::function<void(MemoryLedger&)> fault = nullptr;
        uint32_t afterNotes = 0;
    } rows[] = {
        // clang-format off
        {"first use", "", &kPad1, &kB, false, {}, {}, ResultOk, 2, false},
        {"the same data again", three, &kPad1, &kA, false, {}, {}, ResultOk, -1, false},
        {"what the pad made, XORed back", three, &kPad1, nullptr, false, {}, {}, ResultOk, -1, false},
        {"other data, refused", three, &kPad1, &kB, false, {KeyUsedBefore}, {}, ResultDeclined, -1, false},
        {"other data, all the same", three, &kPad1, &kB, true, {KeyUsedBefore}, {}, ResultOk, 5, false},
        {"a damaged line at the start", withLine(three, 1, junk), &kPad3, &kB, true,
         {KeyUsedBefore, LedgerLinesDamaged}, {}, ResultOk, 5, true},
        {"a damaged line in the middle", withLine(three, 2, junk), &kPad3, &kB, true,
         {KeyUsedBefore, LedgerLinesDamaged}, {}, ResultOk, 5, true},
        {"a damaged line at the end", withLine(three, 4, junk), &kPad3, &kB, true,
         {KeyUsedBefore, LedgerLinesDamaged}, {}, ResultOk, 5, true},
        {"a line cut off by the end", three + "2026-01-01 4", &kPad2, &kC, false, {LedgerLinesDamaged}, {},
         ResultDeclined, -1, false},
        {"a damaged header", badHeader, &kPad3, &kB, true, {LedgerHeaderDamaged}, {}, ResultOk, 2, true},
        {"a damaged header, refused", badHeader, &kPad3, &kB, false, {LedgerHeaderDamaged}, {}, ResultDeclined, -1,
         false},
        {"a ledger that cannot be read", three, &kPad1, &kB, true, {LedgerUnreadable}, {}, ResultOk, -1, false,
         [](MemoryLedger& l) { l.unreadable = true; }},
        {"a read that fails at once", three, &kPad1, &kB, true, {LedgerUnreadable}, {}, ResultOk, -1, false,
         [](MemoryLedger& l) { l.readFailsAt = 0; }},
        {"a read that fails half-way", three, &kPad1, &kB, false, {LedgerUnreadable}, {}, ResultDeclined, -1, false,
         [](MemoryLedger& l) { l.readFailsAt = 200; }},
        {"a ledger kept locked by another program", three, &kPad1, &kB, false, {LedgerBusy}, {}, ResultDeclined, -1,
         false, [](MemoryLedger& l) { l.busy = true; }},
        {"no place for a ledger", "", &kPad1, &kB, false, {}, {LedgerNone}, ResultOk, -1, false,
         [](MemoryLedger& l) { l.noPlace = true; }},
        {"a ledger that cannot be written", three, &kPad1, &kB, false, {KeyUsedBefore}, {}, ResultDeclined, -1,
         false, [](MemoryLedger& l) { l.beginFails = true; }},
        {"a ledger that cannot be written, first use", three, &kPad1, &kB, false, {}, {LedgerReadOnly}, ResultOk, -1,
         false, [](MemoryLedger& l) {
             l.beginFails = true;
             l.stored = linesOf(l.stored)[0] + "\n";
         }},
        // Its line stays as it was written before the job: a use whose data is unknown.
        {"a record that cannot be written after the job", three, &kPad1, &kB, true, {KeyUsedBefore}, {}, ResultOk,
         5, false, [](MemoryLedger& l) { l.commitsBeforeFailing = 1; }, LedgerNotRecorded},
        // clang-format on
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MemoryLedger ledger;
        ledger.stored = row.ledger;
        ledger.present = !row.ledger.empty();
        if (row.fault) {
            row.fault(ledger);
        }
        const std::string before = ledger.stored;
        Copy copy(*row.pad, row.data ? *row.data : kA);
        if (!row.data) {
            copy.go(base); // pad 1 on A once more: the same data, nothing new in `base`
            copy.decryptLast();
            copy.m.files.erase("/out/XOR a.txt");
        }
        copy.front.agree = row.agree;
        EXPECT_EQ(copy.go(ledger), row.result);
        EXPECT_EQ(copy.front.asked, row.asked);
        EXPECT_EQ(copy.front.told, row.told);
        EXPECT_EQ(copy.run.afterNotes, row.afterNotes);
        EXPECT_EQ(copy.wrote(), row.result == ResultOk);
        if (row.lines < 0) {
            EXPECT_EQ(ledger.stored, before);
        } else {
            EXPECT_EQ(ledger.lines(), size_t(row.lines)) << ledger.stored;
            // Every line that read before is still there.
            for (const std::string& line : linesOf(before)) {
                if (line != junk + "\r" && line.rfind("Nimbrel", 0) != 0 && badHeader != before) {
                    EXPECT_NE(ledger.stored.find(line), std::string::npos) << line;
                }
            }
        }
        EXPECT_EQ(ledger.asides.size(), row.keptAside ? 1u : 0u);
        if (row.keptAside && !ledger.asides.empty()) {
            EXPECT_EQ(ledger.asides[0], before);
        }
        EXPECT_TRUE(ledger.holds.empty());
    }
}

// Two copies of the program with byte-identical pads on different data: the second starts its
// check while the first is in the middle of its job, and must be asked.
TEST(JobRunner, TwoCopiesNeverBothPassTheCheckForOnePad) {
    MemoryLedger ledger;
    Copy first(kPad1, kA), second(kPad1, kB);
    std::mutex m;
    std::condition_variable changed;
    bool firstRunning = false, secondDone = false;
    // The first copy's pass, once it has begun, waits for the second copy to be done.
    first.m.onProgressHook = [&](uint32_t) {
        std::unique_lock<std::mutex> hold(m);
        if (!firstRunning) {
            firstRunning = true;
            changed.notify_all();
            changed.wait(hold, [&] { return secondDone; });
        }
    };
    std::thread one([&] { first.go(ledger); });
    {
        std::unique_lock<std::mutex> hold(m);
        changed.wait(hold, [&] { return firstRunning; });
    }
    EXPECT_EQ(second.go(ledger), ResultDeclined);
    EXPECT_EQ(second.front.asked, std::vector<LedgerSituation>{KeyInUse});
    {
        std::lock_guard<std::mutex> hold(m);
        secondDone = true;
    }
    changed.notify_all();
    one.join();
    EXPECT_EQ(first.run.outcome.result, ResultOk);
    EXPECT_TRUE(first.front.asked.empty());
    EXPECT_FALSE(second.wrote());
    // Now the first use is recorded: the second copy is asked as any later job is.
    EXPECT_EQ(second.go(ledger), ResultDeclined);
    EXPECT_EQ(second.front.asked, (std::vector<LedgerSituation>{KeyInUse, KeyUsedBefore}));
    EXPECT_EQ(ledger.lines(), 2u);
}

// A copy whose process ends between its hold and its record leaves a use whose data is unknown:
// every later job with that pad is asked, even on the same data.
TEST(JobRunner, AJobThatEndedBeforeItsRecordStillCountsAsAUse) {
    MemoryLedger ledger;
    const LedgerFiles files = ledger.files();
    LedgerJob ended{};
    ended.length = kSize;
    std::copy(kPad1.begin(), kPad1.begin() + 300, ended.key);
    ended.keyCount = 300;
    std::copy(kA.begin(), kA.end(), ended.data);
    ended.dataCount = kSize;
    ASSERT_TRUE(holdKeyUse(files, ended, 0).held);
    ledger.endEveryProcess();
    for (const Bytes* data : {&kB, &kA}) {
        Copy later(kPad1, *data);
        later.front.agree = data == &kA;
        EXPECT_EQ(later.go(ledger), data == &kA ? ResultOk : ResultDeclined);
        EXPECT_EQ(later.front.asked[0], KeyUseUnknown);
    }
    // The line no longer names a hold nobody keeps, and the use that went on is recorded.
    EXPECT_EQ(ledger.stored.find(" job "), std::string::npos) << ledger.stored;
    EXPECT_EQ(ledger.lines(), 3u);
}

// The ledger alone lets nobody test a guess of the data: nothing in it is a fingerprint of the
// data without the key, salted or not. A ledger of the first version is read and upgraded.
TEST(JobRunner, TheLedgerConfirmsNoGuessOfTheDataAndReadsTheFirstVersion) {
    MemoryLedger ledger;
    Copy copy(kPad1, kA);
    ASSERT_EQ(copy.go(ledger), ResultOk);
    LedgerSalt salt{};
    ASSERT_EQ(parseLedgerHeader(ledger.stored.c_str(), linesOf(ledger.stored)[0].size() - 1, salt), 2u);
    for (size_t n : {size_t(16), kSize}) {
        for (uint64_t raw : {fingerprintOf(kA.data(), n)}) {
            EXPECT_EQ(ledger.stored.find(hexOf(saltedPrint(salt.words, raw))), std::string::npos);
            EXPECT_EQ(ledger.stored.find(hexOf(raw)), std::string::npos);
        }
    }
    // The first version's line for the same use: its unkeyed data fingerprint goes, the rest stays.
    KeyUse use{};
    ASSERT_TRUE(parseKeyUse(linesOf(ledger.stored)[1].c_str(), linesOf(ledger.stored)[1].size() - 1, 2, use));
    const std::string unkeyed = hexOf(saltedPrint(salt.words, fingerprintOf(kA.data(), kSize)));
    char v1[256];
    std::snprintf(v1, sizeof v1, "Nimbrel key-use ledger 1 salt %s%s\r\n%s %u %s %llu %s %s\r\n",
                  hexOf(salt.words[0]).c_str(), hexOf(salt.words[1]).c_str(), use.date,
                  unsigned(use.keyPrefix), hexOf(use.keyPrint).c_str(),
                  static_cast<unsigned long long>(use.length), unkeyed.c_str(),
                  hexOf(use.outputPrint).c_str());
    ledger.stored = v1;
    Copy again(kPad1, kA);
    EXPECT_EQ(again.go(ledger), ResultOk); // the same data again, told by the whole output
    EXPECT_TRUE(again.front.asked.empty());
    Copy other(kPad1, kB);
    EXPECT_EQ(other.go(ledger), ResultDeclined);
    EXPECT_EQ(other.front.asked, std::vector<LedgerSituation>{KeyUsedBefore});
    other.front.agree = true;
    other.m.files.erase("/out/XOR a.txt");
    EXPECT_EQ(other.go(ledger), ResultOk);
    EXPECT_EQ(ledger.stored.rfind("Nimbrel key-use ledger 2 salt ", 0), 0u);
    EXPECT_EQ(ledger.stored.find(unkeyed), std::string::npos);
    EXPECT_NE(ledger.stored.find(hexOf(use.keyPrint) + " 300 - - " + hexOf(use.outputPrint)),
              std::string::npos)
        << ledger.stored;
    EXPECT_EQ(ledger.lines(), 3u);
}

// The verdict before the job: on the key bytes the job uses, and on what the ledger knows of them.
TEST(JobRunner, TheVerdictJudgesTheBytesTheJobUsesWithWhatTheLedgerKnows) {
    Bytes textThenNoise = pattern(3000, 1);
    for (uint8_t& b : textThenNoise) {
        b = uint8_t('a' + b % 20);
    }
    Bytes noiseKey(4 << 20);
    uint64_t seed = 5;
    for (uint8_t& b : noiseKey) {
        seed += 0x9E3779B97F4A7C15ull; // splitmix64
        uint64_t z = (seed ^ (seed >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        b = uint8_t(z ^ (z >> 31));
    }
    textThenNoise.insert(textThenNoise.end(), noiseKey.begin(), noiseKey.end());
    MemoryLedger ledger;
    Copy first(kPad1, kA);
    ASSERT_EQ(first.go(ledger), ResultOk);
    const Bytes firstOutput = first.m.files["/out/XOR a.txt"].bytes;
    struct Row {
        const char* what;
        Bytes key;
        size_t dataSize;
        bool busy;
        bool pad;
        bool showsData; // asked about before the job: a front end that refuses gets no output
        const char* says;
    } rows[] = {
        {"text in the bytes used, noise after them", textThenNoise, 3000, false, false, false,
         "unevenly spread"},
        {"an earlier output of a pad", firstOutput, kSize, false, false, true,
         "the output of an earlier encryption"},
        {"noise, first use", noiseKey, 3000, false, true, false, "knows of no other file"},
        {"noise, the ledger locked by another program", noiseKey, 3000, true, true, false,
         "could not be checked"},
        {"zeros as long as the data", Bytes(3000, 0), 3000, false, false, true, "all its bytes are 0x00"},
        {"zeros shorter than the data", Bytes(100, 0), 3000, false, false, true,
         "the output would be the file itself"},
        {"the data itself", pattern(3000, 29), 3000, false, false, true, "the input's own bytes"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ledger.busy = row.busy;
        for (bool agree : {true, false}) {
            Copy copy(row.key, pattern(row.dataSize, 29));
            copy.front.judge = true;
            copy.front.agree = agree;
            const uint32_t result = copy.go(ledger);
            EXPECT_EQ(std::count(copy.front.asked.begin(), copy.front.asked.end(), KeyShowsData),
                      row.showsData ? 1 : 0);
            const bool refused = !agree && (row.showsData || row.busy);
            EXPECT_EQ(result, refused ? uint32_t(ResultDeclined) : uint32_t(ResultOk));
            EXPECT_EQ(copy.m.files.count("/out/XOR a.txt"), result == ResultOk ? 1u : 0u);
            if (!agree) {
                continue;
            }
            EXPECT_EQ(judgementIsPad(copy.front.judgement), row.pad) << copy.front.verdict;
            EXPECT_NE(copy.front.verdict.find(row.says), std::string::npos) << copy.front.verdict;
            EXPECT_EQ(copy.front.verdict.find("never used"), std::string::npos);
        }
    }
}

} // namespace
