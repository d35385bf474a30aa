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
#include "support/memory_files.h"

namespace {

using namespace memory_files;

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

} // namespace
