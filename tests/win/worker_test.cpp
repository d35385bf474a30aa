// The job worker on real files under Windows: outputs, names, headers, times, result codes,
// and what the file system looks like after every kind of failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "engine/container.h"
#include "engine/job.h"
#include "support/literal_xor.h"
#include "support/win_files.h"
#include "ui/worker_win.h"

namespace {

std::vector<uint32_t> gSeenProgress;

void recordProgress(uint32_t p) {
    gSeenProgress.push_back(p);
}

class WorkerTest : public ::testing::Test {
  protected:
    TempFolder dir;
    JobRequest job;
    JobStatus status;
    JobOutcome outcome{};

    void SetUp() override {
        resetJobRequest(job);
        setWorkerTuning(defaultWorkerTuning());
        gSeenProgress.clear();
    }
    void TearDown() override { setWorkerTuning(defaultWorkerTuning()); }

    void useChunk(uint32_t chunk) { setWorkerTuning(WorkerTuning{chunk, chunk + 50, recordProgress}); }

    std::string makeFile(const std::string& name, const Bytes& bytes) {
        std::string path = dir / name;
        EXPECT_TRUE(writeWholeFile(path, bytes));
        return path;
    }
    void input(const std::string& path) {
        copyText(path.c_str(), job.inputPath);
        job.stored = StoredFile{};
        job.direction = Encrypt;
    }
    // As loading a ".qdx" input does: the header's values go into the request.
    void containerInput(const std::string& path) {
        Bytes bytes = readWholeFile(path);
        ContainerHeader header;
        ASSERT_EQ(decodeHeader(bytes.data(), bytes.size(), header), HeaderStatus::Ok);
        copyText(path.c_str(), job.inputPath);
        storedFileFromHeader(header, job.stored);
        job.useDescription = header.hasDescription;
        job.direction = Decrypt;
        job.mode = ModeClassic;
    }
    void keyString(const char* text) {
        job.keyKind = KeyKind::Text;
        copyText(text, job.keyText);
    }
    // As key file adoption does: the path, its size as the byte count.
    void keyFile(const std::string& path) {
        job.keyKind = KeyKind::File;
        copyText(path.c_str(), job.keyPath);
        job.keyBytes = uint32_t(readWholeFile(path).size());
    }
    void outputTo(const std::string& folder) { copyText(folder.c_str(), job.outputFolder); }
    // A Classic encryption of `name` with the key string "k" into `folder`.
    void encryptClassic(const std::string& name, const Bytes& plain, const std::string& folder) {
        input(makeFile(name, plain));
        keyString("k");
        job.mode = ModeClassic;
        outputTo(folder);
        ASSERT_EQ(run(), ResultOk);
    }
    uint32_t run() {
        outcome = jobWorker(job, status, nullptr, JobFront{JobRunHooks{}, nullptr});
        EXPECT_EQ(status.progress.load(), kProgressEnded);
        EXPECT_EQ(status.result.load(), outcome.result);
        return outcome.result;
    }
};

TEST_F(WorkerTest, XorModeWithAStringKeyIsItsOwnInverse) {
    useChunk(1000);
    Bytes plain = patternBytes(3456, 1);
    input(makeFile("report.txt", plain));
    keyString("correct horse");
    outputTo(dir.path);
    ASSERT_EQ(run(), ResultOk);
    Bytes once = readWholeFile(dir / "XOR report.txt");
    std::string key = "correct horsecorrect horsecorrect horse";
    EXPECT_EQ(once, productXorPass(plain, Bytes(key.begin(), key.end()), false, 39, 1000));
    EXPECT_EQ(once, literalXorPass(plain, Bytes(key.begin(), key.end()), false, 39, 1000));

    input(dir / "XOR report.txt");
    outputTo(dir.path);
    ASSERT_EQ(run(), ResultOk);
    EXPECT_EQ(readWholeFile(dir / "XOR XOR report.txt"), plain);
}

TEST_F(WorkerTest, XorModeWithAKeyFileIsItsOwnInverse) {
    useChunk(1000);
    Bytes plain = patternBytes(5000, 2);
    Bytes key = patternBytes(1777, 99);
    input(makeFile("a.bin", plain));
    keyFile(makeFile("key.bin", key));
    outputTo(dir.path + "\\"); // a trailing backslash gives the same path
    ASSERT_EQ(run(), ResultOk);
    Bytes once = readWholeFile(dir / "XOR a.bin");
    EXPECT_EQ(once, productXorPass(plain, key, true, 1777, 1000));
    EXPECT_STREQ(outcome.outputPath, (dir / "XOR a.bin").c_str());

    input(dir / "XOR a.bin");
    keyFile(dir / "key.bin");
    outputTo(dir.path);
    ASSERT_EQ(run(), ResultOk);
    EXPECT_EQ(readWholeFile(dir / "XOR XOR a.bin"), plain);
}

TEST_F(WorkerTest, AnEmptyKeyStringUsesTheDefaultKeyText) {
    Bytes plain = patternBytes(300, 3);
    input(makeFile("a.txt", plain));
    keyString("");
    outputTo(dir.path);
    ASSERT_EQ(run(), ResultOk);
    std::string key = "HarbinLockworksHarbinLockworksHarbinLockworks";
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"),
              productXorPass(plain, Bytes(key.begin(), key.end()), false, 45, kChunkSize));
}

TEST_F(WorkerTest, TheByteCountLimitsAKeyFileButNotAKeyString) {
    useChunk(1000);
    Bytes plain = patternBytes(2500, 4);
    Bytes key = patternBytes(1000, 5);
    input(makeFile("a.txt", plain));
    keyFile(makeFile("key.bin", key));
    job.keyBytes = 10;
    outputTo(dir.path);
    ASSERT_EQ(run(), ResultOk);
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"),
              productXorPass(plain, Bytes(key.begin(), key.begin() + 10), true, 10, 1000));

    // Longer than a chunk but shorter than the file: the reads go on into the bytes after it.
    Bytes bigKey = patternBytes(2600, 6);
    keyFile(makeFile("big.bin", bigKey));
    job.keyBytes = 1300;
    input(dir / "a.txt");
    outputTo(dir.path);
    ASSERT_EQ(run(), ResultOk);
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"), productXorPass(plain, bigKey, true, 1300, 1000));

    const std::string text = "0123456789012345678901234567890123456789";
    keyString(text.c_str());
    job.keyBytes = 10;
    input(dir / "a.txt");
    outputTo(dir.path);
    ASSERT_EQ(run(), ResultOk);
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"),
              productXorPass(plain, Bytes(text.begin(), text.end()), false, 40, 1000));
}

TEST_F(WorkerTest, ClassicRoundTripKeepsContentNameDescriptionKeyPathAndTimes) {
    struct Case {
        bool description, saveKey;
        uint32_t headerLength;
    } cases[] = {{false, false, 336}, {true, false, 636}, {false, true, 636}, {true, true, 936}};
    Bytes plain = patternBytes(4321, 7);
    Bytes key = patternBytes(8192, 8);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headerLength);
        resetJobRequest(job);
        TempFolder out("out");
        input(makeFile("report.tar.gz", plain));
        keyFile(makeFile("KeyFile.txt", key));
        job.mode = ModeClassic;
        job.useDescription = c.description;
        job.saveKeyName = c.saveKey;
        copyText("Quarterly figures", job.description);
        outputTo(out.path);
        FILETIME before;
        GetSystemTimeAsFileTime(&before);
        ASSERT_EQ(run(), ResultOk);

        Bytes container = readWholeFile(out / "report.tar.qdx");
        ASSERT_EQ(container.size(), plain.size() + c.headerLength);
        ContainerHeader header;
        ASSERT_EQ(decodeHeader(container.data(), container.size(), header), HeaderStatus::Ok);
        EXPECT_EQ(header.headerLength, c.headerLength);
        EXPECT_STREQ(header.plainName, "report.tar.gz");
        EXPECT_STREQ(header.description, c.description ? "Quarterly figures" : "");
        EXPECT_STREQ(header.keyPath, c.saveKey ? (dir / "KeyFile.txt").c_str() : "");
        // The stored times are the new container's own: the moment of encryption.
        EXPECT_GE(header.lastWriteTime + 20000000, fileTimeValue(before));
        EXPECT_EQ(header.attributes, uint16_t(GetFileAttributesA((dir / "report.tar.gz").c_str())));
        Bytes payload(container.begin() + c.headerLength, container.end());
        EXPECT_EQ(payload, productXorPass(plain, key, true, uint32_t(key.size()), kChunkSize));

        // Decrypt into another folder: the stored name, the content, the stored times.
        TempFolder back("back");
        containerInput(out / "report.tar.qdx");
        keyFile(dir / "KeyFile.txt");
        outputTo(back.path);
        ASSERT_EQ(run(), ResultOk);
        DiskTimes restored;
        ASSERT_TRUE(fileTimesOf(back / "report.tar.gz", restored));
        EXPECT_EQ(restored.written, header.lastWriteTime);
        EXPECT_EQ(restored.accessed, header.lastAccessTime);
        EXPECT_EQ(readWholeFile(back / "report.tar.gz"), plain);
    }
}

// Times the system refuses (from 2^63 on) cannot be stamped; the decrypted file is kept whole,
// with its own times.
TEST_F(WorkerTest, StoredTimesThatCannotBeSetLeaveTheDecryptedFileInPlace) {
    Bytes plain = patternBytes(3000, 7);
    TempFolder out("out");
    encryptClassic("report.txt", plain, out.path);
    for (uint64_t* stored : {&job.stored.lastAccessTime, &job.stored.lastWriteTime}) {
        TempFolder back("back");
        containerInput(out / "report.qdx");
        keyString("k");
        *stored = uint64_t(1) << 63;
        outputTo(back.path);
        EXPECT_EQ(run(), ResultOk);
        EXPECT_EQ(readWholeFile(back / "report.txt"), plain);
    }
}

TEST_F(WorkerTest, OutputNamesFollowModeAndDirection) {
    Bytes plain = patternBytes(64, 9);
    struct Case {
        const char* input;
        CipherMode mode;
        const char* output;
    } cases[] = {
        {"report.txt", ModeXor, "XOR report.txt"},
        {"report.tar.gz", ModeClassic, "report.tar.qdx"},
        {".profile", ModeClassic, ".qdx"},
        {"noext", ModeClassic, "noext.qdx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        TempFolder out("names");
        input(makeFile(c.input, plain));
        keyString("k");
        job.mode = c.mode;
        outputTo(out.path);
        ASSERT_EQ(run(), ResultOk);
        EXPECT_EQ(folderEntries(out.path), std::vector<std::string>{c.output});
    }
}

TEST_F(WorkerTest, AMissingOutputFolderIsCreatedOneLevelOnly) {
    input(makeFile("a.txt", patternBytes(10, 1)));
    keyString("k");
    outputTo(dir / "a");
    ASSERT_EQ(run(), ResultOk);
    EXPECT_TRUE(fileExists(dir / "a\\XOR a.txt"));

    input(dir / "a.txt");
    outputTo(dir / "missing\\deeper");
    EXPECT_EQ(run(), ResultWriteError);
    EXPECT_EQ(GetFileAttributesA((dir / "missing").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(WorkerTest, AnInputThatCannotBeOpenedGivesCode1AndLeavesAnExistingOutputAlone) {
    std::string existing = makeFile("XOR gone.txt", patternBytes(77, 1));
    input(dir / "gone.txt");
    keyString("k");
    outputTo(dir.path);
    EXPECT_EQ(run(), ResultReadError);
    EXPECT_EQ(readWholeFile(existing), patternBytes(77, 1));
    EXPECT_EQ(folderEntries(dir.path).size(), 1u);

    // Held open by another program.
    std::string held = makeFile("held.txt", patternBytes(10, 1));
    HANDLE h = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    input(held);
    outputTo(dir.path);
    EXPECT_EQ(run(), ResultReadError);
    CloseHandle(h);
    EXPECT_FALSE(fileExists(dir / "XOR held.txt"));
}

TEST_F(WorkerTest, NoKeyMaterialGivesCode2AndNoOutput) {
    std::string plainPath = makeFile("a.txt", patternBytes(100, 1));
    std::string keyPath = makeFile("key.bin", patternBytes(100, 2));
    struct Case {
        const char* what;
        void (*spoil)(const std::string& key);
        bool ready;
        uint32_t keyBytes;
    } cases[] = {
        {"not adopted", [](const std::string&) {}, false, 100},
        {"empty key file", [](const std::string& k) { writeWholeFile(k, Bytes{}); }, true, 0},
        {"deleted after adoption", [](const std::string& k) { DeleteFileA(k.c_str()); }, true, 100},
        {"shrunk after adoption", [](const std::string& k) { writeWholeFile(k, patternBytes(60, 2)); }, true,
         100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeWholeFile(keyPath, patternBytes(100, 2));
        input(plainPath);
        keyFile(keyPath);
        job.keyBytes = c.ready ? c.keyBytes : 0; // a front end gives no byte count without a key
        c.spoil(keyPath);
        outputTo(dir.path);
        EXPECT_EQ(run(), ResultNoKey);
        EXPECT_FALSE(fileExists(dir / "XOR a.txt"));
    }
    // A key file held open by another program cannot give its bytes either.
    writeWholeFile(keyPath, patternBytes(100, 2));
    keyFile(keyPath);
    HANDLE h = CreateFileA(keyPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    input(plainPath);
    outputTo(dir.path);
    EXPECT_EQ(run(), ResultNoKey);
    CloseHandle(h);
    EXPECT_FALSE(fileExists(dir / "XOR a.txt"));
}

TEST_F(WorkerTest, BuffersThatCannotBeObtainedGiveCode3) {
    // Half the address space: no process has that much in one piece, 32-bit or 64-bit.
    setWorkerTuning(WorkerTuning{kChunkSize, SIZE_MAX / 2 + 1, nullptr});
    input(makeFile("a.txt", patternBytes(100, 1)));
    keyString("k");
    outputTo(dir.path);
    EXPECT_EQ(run(), ResultNoMemory);
    EXPECT_EQ(folderEntries(dir.path).size(), 1u);
}

TEST_F(WorkerTest, AnOutputThatWouldReplaceItsOwnInputOrKeyIsRefusedWithCode4) {
    // A container whose stored name is its own name, decrypted into its own folder.
    Bytes plain = patternBytes(500, 1);
    TempFolder staging("staging");
    encryptClassic("self.qdx", plain, staging.path);
    Bytes container = readWholeFile(staging / "self.qdx");
    std::string inFolder = makeFile("SELF.QDX", container);
    containerInput(inFolder);
    keyString("k");
    outputTo(dir.path);
    EXPECT_EQ(run(), ResultWriteError);
    EXPECT_EQ(readWholeFile(inFolder), container);

    // A key file that carries the output's name.
    std::string key = makeFile("XOR b.txt", patternBytes(64, 3));
    input(makeFile("b.txt", plain));
    keyFile(key);
    job.mode = ModeXor;
    outputTo(dir.path);
    EXPECT_EQ(run(), ResultWriteError);
    EXPECT_EQ(readWholeFile(key), patternBytes(64, 3));
}

TEST_F(WorkerTest, XorModeTakesAContainerAsPlainBytesAndStampsNoTimes) {
    Bytes plain = patternBytes(700, 4);
    input(makeFile("doc.txt", plain));
    keyString("secret");
    job.mode = ModeClassic;
    TempFolder out("out");
    outputTo(out.path);
    ASSERT_EQ(run(), ResultOk);
    Bytes container = readWholeFile(out / "doc.qdx");

    containerInput(out / "doc.qdx");
    job.mode = ModeXor;
    keyString("other key of some length");
    outputTo(dir.path);
    FILETIME before;
    GetSystemTimeAsFileTime(&before);
    ASSERT_EQ(run(), ResultOk);
    std::string key = "other key of some lengthother key of some length";
    Bytes xored = readWholeFile(dir / "XOR doc.qdx");
    EXPECT_EQ(xored, productXorPass(container, Bytes(key.begin(), key.end()), false, uint32_t(key.size()),
                                    kChunkSize));
    DiskTimes times;
    ASSERT_TRUE(fileTimesOf(dir / "XOR doc.qdx", times));
    EXPECT_GE(times.written + 20000000, fileTimeValue(before));
}

TEST_F(WorkerTest, AContainerShorterThanItsHeaderIsRefusedWithCode1) {
    Bytes plain = patternBytes(50, 4);
    input(makeFile("doc.txt", plain));
    keyString("secret");
    job.mode = ModeClassic;
    job.useDescription = true;
    TempFolder out("out");
    outputTo(out.path);
    ASSERT_EQ(run(), ResultOk);
    containerInput(out / "doc.qdx");
    ASSERT_EQ(job.stored.headerLength, 636u);
    Bytes container = readWholeFile(out / "doc.qdx");
    container.resize(400); // cut after loading
    writeWholeFile(out / "doc.qdx", container);
    keyString("secret");
    TempFolder back("back");
    outputTo(back.path);
    EXPECT_EQ(run(), ResultReadError);
    EXPECT_TRUE(folderEntries(back.path).empty());
}

TEST_F(WorkerTest, ProgressMovesAtChunkBoundariesAndTimeIsInHundredths) {
    useChunk(1000);
    input(makeFile("big.bin", patternBytes(3500, 5)));
    keyFile(makeFile("key.bin", patternBytes(4000, 6)));
    outputTo(dir.path);
    DWORD before = GetTickCount();
    ASSERT_EQ(run(), ResultOk);
    DWORD elapsed = GetTickCount() - before;
    EXPECT_EQ(gSeenProgress, (std::vector<uint32_t>{128, 157, 185}));
    EXPECT_LE(status.hundredths.load(), elapsed / 10 + 1);

    gSeenProgress.clear();
    input(makeFile("small.bin", patternBytes(1000, 5)));
    outputTo(dir.path);
    ASSERT_EQ(run(), ResultOk);
    EXPECT_TRUE(gSeenProgress.empty()); // one chunk: nothing until the end
}

// The thread works on its own copy of the request: the window may change its own at once.
TEST_F(WorkerTest, ItsOwnThreadRunsItsOwnCopyAndReportsThroughTheStatusFields) {
    input(makeFile("a.txt", patternBytes(2000, 1)));
    keyString("k");
    outputTo(dir.path);
    status.progress.store(kProgressIdle);
    ASSERT_TRUE(startJobWorker(job, status, nullptr, JobFront{JobRunHooks{}, nullptr}));
    resetJobRequest(job);
    for (int i = 0; i < 1000 && status.progress.load(std::memory_order_acquire) != kProgressEnded; ++i) {
        Sleep(10);
    }
    ASSERT_EQ(status.progress.load(std::memory_order_acquire), kProgressEnded);
    EXPECT_EQ(status.result.load(), ResultOk);
    EXPECT_TRUE(fileExists(dir / "XOR a.txt"));
}

// Abandoning a job (the program is closing) leaves neither the output nor its temporary file.
std::atomic<int> gChunksSeen{0};
void slowProgress(uint32_t) {
    ++gChunksSeen;
    Sleep(20);
}

TEST_F(WorkerTest, AnAbandonedJobLeavesNoFileBehind) {
    setWorkerTuning(WorkerTuning{100000, 100050, slowProgress});
    gChunksSeen = 0;
    input(makeFile("big.bin", patternBytes(3000000, 5)));
    keyString("k");
    TempFolder out("out");
    outputTo(out.path);
    ASSERT_TRUE(startJobWorker(job, status, nullptr, JobFront{JobRunHooks{}, nullptr}));
    while (gChunksSeen < 3) {
        Sleep(5);
    }
    EXPECT_FALSE(folderEntries(out.path).empty()); // the temporary output is being written
    abandonRunningJob();
    while (status.progress.load(std::memory_order_acquire) != kProgressEnded) {
        Sleep(5);
    }
    EXPECT_EQ(status.result.load(), ResultAbandoned);
    EXPECT_TRUE(folderEntries(out.path).empty());
}

// A full disk: a 30 MB tmpfs mapped to drive T: by the test run (skipped where mounting is not
// allowed). The second 25,000,000-byte chunk does not fit.
TEST_F(WorkerTest, AFullDiskGivesCode4AndLeavesNothingBehind) {
    ULARGE_INTEGER freeBytes, totalBytes;
    if (!GetDiskFreeSpaceExA("T:\\", &freeBytes, &totalBytes, nullptr) || totalBytes.QuadPart > (64u << 20)) {
        GTEST_SKIP() << "no small tmpfs on T: (mounting was not allowed); full-disk test skipped";
    }
    for (const std::string& name : folderEntries("T:")) {
        DeleteFileA(("T:\\" + name).c_str());
    }
    ASSERT_TRUE(writeWholeFile("T:\\XOR big.bin", std::string("an older output")));
    input(makeFile("big.bin", patternBytes(40000000, 5)));
    keyString("k");
    outputTo("T:\\");
    EXPECT_EQ(run(), ResultWriteError);
    // Whichever thread wrote, the reason is the caller's last error, for the console tool to give.
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
    EXPECT_EQ(folderEntries("T:"), std::vector<std::string>{"XOR big.bin"});
    Bytes kept = readWholeFile("T:\\XOR big.bin");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "an older output");
    DeleteFileA("T:\\XOR big.bin");
}

} // namespace
