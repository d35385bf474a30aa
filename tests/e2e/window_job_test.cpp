// Jobs started with the Go button: the outputs byte for byte, the overwrite question, the
// finish message and the window's return to idle, each end-of-job error, and "Quit Nimbrel".
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>

#include "engine/container.h"
#include "support/driver.h"
#include "support/expected.h"
#include "support/win_files.h"

namespace {

struct Session {
    Program program;
    HWND main = nullptr;
};

class JobTest : public ::testing::Test {
  protected:
    TempFolder dir{"job"};

    // Starts the program, with `input` as its argument 1 when one is given.
    Session open(const std::string& input = "") {
        Session s;
        s.program = startNimbrel(input.empty() ? "" : "\"" + input + "\"");
        s.main = waitForReadyMainDialog(s.program);
        return s;
    }

    static MessageSeen go(const Session& s) {
        press(s.main, IDB_GO);
        return waitForMessage(s.program);
    }

    // The finish message names the whole output path: `output` when given.
    static void expectFinishMessage(const MessageSeen& seen, const std::string& output = "") {
        std::smatch found;
        EXPECT_TRUE(std::regex_match(
            seen.text, found,
            std::regex(
                R"re(Finished XORing in (0|[1-9][0-9]*)\.[0-9]{2} seconds\. The output is "(.+)"\.)re")))
            << seen.text;
        if (!output.empty() && found.size() == 3) {
            EXPECT_EQ(found[2].str(), output);
        }
        EXPECT_EQ(seen.caption, "Nimbrel 1.9");
        EXPECT_EQ(seen.yes, "OK");
        EXPECT_EQ(seen.no, "Quit Nimbrel");
        EXPECT_FALSE(seen.compact()) << seen.characterWidth;
    }

    // After every job, successful or not, once its message is answered: the window waits for
    // a new input file. The description field follows its own rule and is given by the caller.
    static void expectIdle(const Session& s, const std::string& pattern = "0000 000 000 0000000 0 00000 0") {
        ASSERT_TRUE(settle(s.main));
        EXPECT_EQ(windowText(s.main), "Nimbrel 1.9");
        EXPECT_EQ(itemText(s.main, IDE_INPUT), "None Selected");
        EXPECT_EQ(itemText(s.main, IDE_KEY_FILE), "");
        EXPECT_EQ(itemText(s.main, IDE_BYTE_COUNT), "0");
        EXPECT_EQ(itemText(s.main, IDE_OUTPUT), desktopPath());
        EXPECT_FALSE(isVisible(s.main, IDP_PROGRESS));
        EXPECT_TRUE(isVisible(s.main, IDB_HELP));
        EXPECT_TRUE(isVisible(s.main, IDB_ABOUT));
        EXPECT_EQ(enabledPattern(s.main), pattern);
        EXPECT_EQ(enabledPattern(s.main, kFreeControls), "11111");
        EXPECT_FALSE(messageBoxExists(s.program));
    }

    static void close(Session& s) {
        press(s.main, IDB_CLOSE);
        EXPECT_EQ(s.program.waitForExit(), kExit);
    }

    static ContainerHeader headerOf(const Bytes& file) {
        ContainerHeader header{};
        EXPECT_EQ(decodeHeader(file.data(), file.size(), header), HeaderStatus::Ok);
        return header;
    }
    static Bytes payloadOf(const Bytes& file, const ContainerHeader& header) {
        return file.size() < header.headerLength ? Bytes{}
                                                 : Bytes(file.begin() + header.headerLength, file.end());
    }
};

constexpr char kPublicKeyText[] =
    "The key string is empty, so the file would be encrypted with Nimbrel's public default key: anyone with "
    "Nimbrel can read the result. Type a key string, or choose a key file, to protect it.";

TEST_F(JobTest, ClassicWithAStringKeyAndADescriptionThenBackAgain) {
    Bytes plain = patternBytes(70000, 11);
    std::string input = dir / "a.txt";
    ASSERT_TRUE(writeWholeFile(input, plain));
    DWORD attributes = GetFileAttributesA(input.c_str());

    Session s = open(input);
    ASSERT_TRUE(s.main) << describe(s.program);
    // "String" opens only in Classic mode.
    EXPECT_FALSE(isEnabled(s.main, IDO_STRING));
    ASSERT_TRUE(click(s.main, IDO_CLASSIC));
    ASSERT_TRUE(click(s.main, IDO_STRING));
    {
        SCOPED_TRACE("no key typed: the public key is asked about, Cancel the lower button");
        MessageSeen question = go(s);
        ASSERT_TRUE(question.box);
        EXPECT_EQ(question.text, kPublicKeyText);
        EXPECT_EQ(question.yes, "Encrypt with the public key");
        EXPECT_EQ(question.no, "Cancel");
        pressKey(focusOf(question.box), VK_RETURN);
        ASSERT_TRUE(waitUntil([&] { return !messageBoxExists(s.program); }));
        ASSERT_TRUE(settle(s.main));
        EXPECT_FALSE(fileExists(dir / "a.qdx"));
        EXPECT_EQ(windowText(s.main), "Nimbrel 1.9");
    }
    ASSERT_TRUE(typeText(s.main, IDE_KEY_STRING, "correct horse"));
    ASSERT_TRUE(click(s.main, IDX_USE_DESCRIPTION));
    ASSERT_TRUE(typeText(s.main, IDE_DESCRIPTION, "Quarterly figures"));

    MessageSeen finished = go(s);
    ASSERT_TRUE(finished.box);
    expectFinishMessage(finished, dir / "a.qdx");
    EXPECT_EQ(windowText(s.main), "EnCrypting a.txt");
    answer(finished, true);
    // Classic with "Use" ticked keeps the description field open; the key string stays.
    expectIdle(s, "0001 000 000 0000000 0 00000 0");
    EXPECT_EQ(itemText(s.main, IDE_KEY_STRING), "correct horse");

    Bytes container = readWholeFile(dir / "a.qdx");
    ContainerHeader header = headerOf(container);
    EXPECT_STREQ(header.plainName, "a.txt");
    EXPECT_EQ(header.hasDescription, 1u);
    EXPECT_STREQ(header.description, "Quarterly figures");
    EXPECT_EQ(header.hasKeyPath, 0u);
    EXPECT_EQ(header.headerLength, 636u);
    EXPECT_EQ(header.attributes, uint16_t(attributes));
    EXPECT_EQ(payloadOf(container, header), xorWithString(plain, "correct horse"));

    // The container back into a folder of its own, which the job creates; the next drop after
    // a job is an input file again.
    ASSERT_TRUE(dropFileAndWait(s.program, s.main, dir / "a.qdx"));
    EXPECT_EQ(itemText(s.main, IDB_GO), "Go DeNimbrel!");
    EXPECT_EQ(itemText(s.main, IDE_DESCRIPTION), "Quarterly figures");
    EXPECT_EQ(marks(s.main), "Classic String");
    ASSERT_TRUE(typeText(s.main, IDE_OUTPUT, dir / "back"));
    finished = go(s);
    ASSERT_TRUE(finished.box);
    expectFinishMessage(finished);
    EXPECT_EQ(windowText(s.main), "DeCrypting a.txt");
    answer(finished, true);
    expectIdle(s, "0001 000 000 0000000 0 00000 0");
    EXPECT_EQ(readWholeFile(dir / "back\\a.txt"), plain);

    // The public key when the user says so.
    ASSERT_TRUE(dropFileAndWait(s.program, s.main, input));
    ASSERT_TRUE(typeText(s.main, IDE_KEY_STRING, ""));
    ASSERT_TRUE(typeText(s.main, IDE_OUTPUT, dir / "public"));
    MessageSeen question = go(s);
    ASSERT_TRUE(question.box);
    EXPECT_EQ(question.text, kPublicKeyText);
    answer(question, true);
    finished = waitForMessage(s.program);
    ASSERT_TRUE(finished.box);
    expectFinishMessage(finished);
    answer(finished, true);
    Bytes open = readWholeFile(dir / "public\\a.qdx");
    EXPECT_EQ(payloadOf(open, headerOf(open)), xorWithString(plain, ""));
    close(s);
}

TEST_F(JobTest, XorWithAKeyFileFromChooseAndAByteCount) {
    Bytes plain = patternBytes(3000, 12);
    Bytes key = patternBytes(4096, 13);
    std::string input = dir / "a.txt";
    std::string keyPath = dir / "key.bin";
    ASSERT_TRUE(writeWholeFile(input, plain));
    ASSERT_TRUE(writeWholeFile(keyPath, key));

    Session s = open(input);
    ASSERT_TRUE(s.main) << describe(s.program);
    // With no key file yet the picker opens in the input file's folder.
    press(s.main, IDB_CHOOSE_KEY);
    HWND picker = waitForDialog(s.program, isOpenPicker);
    ASSERT_TRUE(picker);
    EXPECT_EQ(pickerFolder(s.program, picker), dir.path);
    ASSERT_TRUE(pickFile(s.program, keyPath));
    ASSERT_TRUE(settle(s.main));
    EXPECT_EQ(itemText(s.main, IDE_KEY_FILE), keyPath);
    EXPECT_EQ(itemText(s.main, IDE_BYTE_COUNT), "4096");
    EXPECT_FALSE(isChecked(s.main, IDX_SAVE_KEY_NAME));
    ASSERT_TRUE(typeText(s.main, IDE_BYTE_COUNT, "100"));

    MessageSeen finished = go(s);
    ASSERT_TRUE(finished.box);
    expectFinishMessage(finished);
    EXPECT_EQ(windowText(s.main), "Processing a.txt");
    answer(finished, true);
    expectIdle(s);
    Bytes output = readWholeFile(dir / "XOR a.txt");
    EXPECT_EQ(output, xorWithKeyFile(plain, key, 100));

    // XOR undoes itself: the output dropped back, with the same key and count.
    ASSERT_TRUE(dropFileAndWait(s.program, s.main, dir / "XOR a.txt"));
    ASSERT_TRUE(dropFileAndWait(s.program, s.main, keyPath));
    ASSERT_TRUE(typeText(s.main, IDE_BYTE_COUNT, "100"));
    finished = go(s);
    ASSERT_TRUE(finished.box);
    answer(finished, true);
    expectIdle(s);
    EXPECT_EQ(readWholeFile(dir / "XOR XOR a.txt"), plain);
    close(s);
}

TEST_F(JobTest, ClassicWithADroppedKeyFileStoresItsPathForTheWayBack) {
    Bytes plain = patternBytes(5000, 14);
    Bytes key = patternBytes(6000, 15);
    std::string input = dir / "a.txt";
    std::string keyPath = dir / "key.bin";
    ASSERT_TRUE(writeWholeFile(input, plain));
    ASSERT_TRUE(writeWholeFile(keyPath, key));

    Session s = open(input);
    ASSERT_TRUE(s.main) << describe(s.program);
    ASSERT_TRUE(click(s.main, IDO_CLASSIC));
    ASSERT_TRUE(dropFileAndWait(s.program, s.main, keyPath));
    EXPECT_TRUE(isChecked(s.main, IDX_SAVE_KEY_NAME));
    EXPECT_EQ(itemText(s.main, IDE_BYTE_COUNT), "6000");
    MessageSeen finished = go(s);
    ASSERT_TRUE(finished.box);
    expectFinishMessage(finished);
    answer(finished, true);
    expectIdle(s);

    Bytes container = readWholeFile(dir / "a.qdx");
    ContainerHeader header = headerOf(container);
    EXPECT_STREQ(header.plainName, "a.txt");
    EXPECT_EQ(header.hasDescription, 0u);
    EXPECT_EQ(header.hasKeyPath, 1u);
    EXPECT_EQ(std::string(header.keyPath), keyPath);
    EXPECT_EQ(header.headerLength, 636u);
    EXPECT_EQ(payloadOf(container, header), xorWithKeyFile(plain, key));

    // Loading the container takes its key file; nothing else is needed to decrypt.
    press(s.main, IDB_CHOOSE_INPUT);
    ASSERT_TRUE(pickFile(s.program, dir / "a.qdx"));
    ASSERT_TRUE(settle(s.main));
    EXPECT_EQ(itemText(s.main, IDE_KEY_FILE), keyPath);
    EXPECT_EQ(itemText(s.main, IDE_BYTE_COUNT), "6000");
    ASSERT_TRUE(isEnabled(s.main, IDB_GO));
    ASSERT_TRUE(typeText(s.main, IDE_OUTPUT, dir / "back"));
    finished = go(s);
    ASSERT_TRUE(finished.box);
    expectFinishMessage(finished);
    answer(finished, true);
    expectIdle(s);
    EXPECT_EQ(readWholeFile(dir / "back\\a.txt"), plain);

    // With "Use 100 bytes": the number is said before the job, and can be given on the way back.
    ASSERT_TRUE(dropFileAndWait(s.program, s.main, input));
    ASSERT_TRUE(dropFileAndWait(s.program, s.main, keyPath));
    ASSERT_TRUE(typeText(s.main, IDE_BYTE_COUNT, "100"));
    ASSERT_TRUE(typeText(s.main, IDE_OUTPUT, dir / "use"));
    MessageSeen advice = go(s);
    ASSERT_TRUE(advice.box);
    EXPECT_EQ(advice.text,
              "Only the first 100 bytes of the key file encrypt this file, and the container does not "
              "record that number. Note it: to decrypt the file, set \"Use\" to 100 bytes again.");
    answer(advice, true);
    finished = waitForMessage(s.program);
    ASSERT_TRUE(finished.box);
    expectFinishMessage(finished);
    answer(finished, true);
    expectIdle(s);
    container = readWholeFile(dir / "use\\a.qdx");
    EXPECT_EQ(payloadOf(container, headerOf(container)), xorWithKeyFile(plain, key, 100));

    press(s.main, IDB_CHOOSE_INPUT);
    ASSERT_TRUE(pickFile(s.program, dir / "use\\a.qdx"));
    ASSERT_TRUE(settle(s.main));
    EXPECT_EQ(itemText(s.main, IDE_BYTE_COUNT), "6000");
    EXPECT_TRUE(isEnabled(s.main, IDE_BYTE_COUNT));
    ASSERT_TRUE(typeText(s.main, IDE_BYTE_COUNT, "100"));
    ASSERT_TRUE(typeText(s.main, IDE_OUTPUT, dir / "useback"));
    finished = go(s);
    ASSERT_TRUE(finished.box);
    expectFinishMessage(finished);
    answer(finished, true);
    expectIdle(s);
    EXPECT_EQ(readWholeFile(dir / "useback\\a.txt"), plain);
    close(s);
}

TEST_F(JobTest, AnExistingOutputIsKeptOnAbortAndReplacedOnOverwrite) {
    Bytes plain = patternBytes(2000, 16);
    Bytes key = patternBytes(4096, 17);
    std::string input = dir / "a.txt";
    std::string keyPath = dir / "key.bin";
    std::string out = dir / "out";
    ASSERT_TRUE(writeWholeFile(input, plain));
    ASSERT_TRUE(writeWholeFile(keyPath, key));
    ASSERT_TRUE(CreateDirectoryA(out.c_str(), nullptr));
    ASSERT_TRUE(writeWholeFile(out + "\\XOR a.txt", "old contents"));

    Session s = open(input);
    ASSERT_TRUE(s.main) << describe(s.program);
    ASSERT_TRUE(dropFileAndWait(s.program, s.main, keyPath));
    // No trailing backslash: the question still finds out\XOR a.txt.
    ASSERT_TRUE(typeText(s.main, IDE_OUTPUT, out));
    const std::string ready = enabledPattern(s.main);

    const std::string exists = "Output File name already exists. The file is \"" + out + "\\XOR a.txt\".";
    MessageSeen question = go(s);
    ASSERT_TRUE(question.box);
    EXPECT_EQ(question.text, exists);
    EXPECT_EQ(question.yes, "Overwrite file with new one?");
    EXPECT_EQ(question.no, "Abort XOR");
    EXPECT_FALSE(question.compact()) << question.characterWidth;
    // No job runs while the question is open, and the caption does not say one does.
    EXPECT_EQ(windowText(s.main), "Nimbrel 1.9");
    answer(question, false);
    ASSERT_TRUE(settle(s.main));
    {
        SCOPED_TRACE("aborted: no job, the window as it was");
        EXPECT_FALSE(messageBoxExists(s.program));
        EXPECT_EQ(enabledPattern(s.main), ready);
        EXPECT_EQ(itemText(s.main, IDE_INPUT), input);
        EXPECT_EQ(itemText(s.main, IDE_KEY_FILE), keyPath);
        EXPECT_EQ(itemText(s.main, IDE_OUTPUT), out);
        EXPECT_FALSE(isVisible(s.main, IDP_PROGRESS));
        EXPECT_TRUE(isVisible(s.main, IDB_HELP));
        EXPECT_EQ(windowText(s.main), "Nimbrel 1.9");
        const std::string old = "old contents";
        EXPECT_EQ(readWholeFile(out + "\\XOR a.txt"), Bytes(old.begin(), old.end()));
    }

    question = go(s);
    ASSERT_TRUE(question.box);
    EXPECT_EQ(question.text, exists);
    answer(question, true);
    MessageSeen finished = waitForMessage(s.program);
    ASSERT_TRUE(finished.box);
    expectFinishMessage(finished);
    answer(finished, true);
    expectIdle(s);
    EXPECT_EQ(readWholeFile(out + "\\XOR a.txt"), xorWithKeyFile(plain, key));
    EXPECT_EQ(folderEntries(out), std::vector<std::string>{"XOR a.txt"});
    close(s);
}

TEST_F(JobTest, QuitNimbrelInTheFinishMessageEndsTheProgramAndKeepsTheOutput) {
    Bytes plain = patternBytes(2500, 18);
    Bytes key = patternBytes(2500, 19);
    std::string input = dir / "a.txt";
    std::string keyPath = dir / "key.bin";
    ASSERT_TRUE(writeWholeFile(input, plain));
    ASSERT_TRUE(writeWholeFile(keyPath, key));

    Session s = open(input);
    ASSERT_TRUE(s.main) << describe(s.program);
    ASSERT_TRUE(dropFileAndWait(s.program, s.main, keyPath));
    MessageSeen finished = go(s);
    ASSERT_TRUE(finished.box);
    expectFinishMessage(finished);
    press(finished.box, IDB_MESSAGE_NO);
    EXPECT_EQ(s.program.waitForExit(), kExit);
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"), xorWithKeyFile(plain, key));
}

// Go runs on what the window has loaded and shows, or asks: a typed input path is loaded first
// (with a chosen file's checks), a container is decrypted with the key file it names, and a key
// file that would leave the data readable is asked about (in the window) or refused (windowless).
TEST_F(JobTest, GoUsesWhatTheWindowLoadedAndShows) {
    const Bytes plain = patternBytes(3000, 31), larger = patternBytes(10000, 32);
    const Bytes key = patternBytes(4096, 33);
    const std::string input = dir / "a.txt", big = dir / "big.txt", empty = dir / "empty.txt";
    const std::string keyPath = dir / "key.bin", zeros = dir / "zeros.bin";
    ASSERT_TRUE(writeWholeFile(input, plain));
    ASSERT_TRUE(writeWholeFile(big, larger));
    ASSERT_TRUE(writeWholeFile(empty, Bytes{}));
    ASSERT_TRUE(writeWholeFile(keyPath, key));
    ASSERT_TRUE(writeWholeFile(zeros, Bytes(4096, 0)));
    const std::string emptySaid = "\"" + empty + "\" is empty: there is nothing to encrypt.";
    const std::string showsData =
        "This key would leave the file readable: every byte of the key file is 0x00";
    struct Row {
        const char* what;
        std::function<void(const Session&)> prepare; // after a.txt and key.bin are loaded
        std::vector<std::string> said; // the boxes before the finish, in order, answered "upper"
        std::string output;            // written, or "" for no job
        Bytes expected;
    } rows[] = {
        {"a larger file typed: loaded at Go, with its short-key advice",
         [&](const Session& s) { ASSERT_TRUE(typeText(s.main, IDE_INPUT, big)); },
         {"For optimum security Key file should be the same size or greater than the file to be EnCrypted"},
         dir / "XOR big.txt",
         xorWithKeyFile(larger, key)},
        {"an empty file typed: said, the loaded file kept, no job",
         [&](const Session& s) { ASSERT_TRUE(typeText(s.main, IDE_INPUT, empty)); },
         {emptySaid},
         "",
         {}},
        {"a key file of zeros: asked, Cancel",
         [&](const Session& s) {
             // Drops alternate between input and key: the input again, then the key.
             ASSERT_TRUE(dropFileAndWait(s.program, s.main, input));
             ASSERT_TRUE(dropFileAndWait(s.program, s.main, zeros));
         },
         {showsData},
         "",
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Session s = open(input);
        ASSERT_TRUE(s.main) << describe(s.program);
        ASSERT_TRUE(dropFileAndWait(s.program, s.main, keyPath));
        row.prepare(s);
        press(s.main, IDB_GO);
        for (const std::string& text : row.said) {
            MessageSeen seen = waitForMessage(s.program);
            ASSERT_TRUE(seen.box);
            EXPECT_EQ(seen.text.substr(0, text.size()), text);
            if (text == showsData) {
                // The harmless answer below, and on Enter.
                EXPECT_EQ(seen.yes, "Encrypt anyway");
                EXPECT_EQ(seen.no, "Cancel");
                pressKey(focusOf(seen.box), VK_RETURN);
                ASSERT_TRUE(waitUntil([&] { return !messageBoxExists(s.program); }));
            } else {
                answer(seen, true);
            }
        }
        if (row.output.empty()) {
            ASSERT_TRUE(settle(s.main));
            EXPECT_FALSE(messageBoxExists(s.program));
            EXPECT_EQ(itemText(s.main, IDE_INPUT), input);
            EXPECT_EQ(folderEntries(dir.path),
                      (std::vector<std::string>{"a.txt", "big.txt", "empty.txt", "key.bin", "zeros.bin"}));
        } else {
            MessageSeen finished = waitForMessage(s.program);
            ASSERT_TRUE(finished.box);
            expectFinishMessage(finished, row.output);
            answer(finished, true);
            EXPECT_EQ(readWholeFile(row.output), row.expected);
            DeleteFileA(row.output.c_str());
        }
        close(s);
    }

    {
        SCOPED_TRACE("the windowless run refuses a key file of zeros, and writes nothing");
        Program run = startNimbrel("\"/i=" + input + "\" \"/f=" + zeros + "\" \"/o=" + dir.path + "\"");
        EXPECT_EQ(run.waitForExit(60000), kExit + 2);
        EXPECT_FALSE(fileExists(dir / "XOR a.txt"));
    }
    {
        SCOPED_TRACE(
            "a container that names its key file, with an empty key string: decrypted with that file");
        Session s = open(input);
        ASSERT_TRUE(s.main) << describe(s.program);
        ASSERT_TRUE(click(s.main, IDO_CLASSIC));
        ASSERT_TRUE(dropFileAndWait(s.program, s.main, keyPath));
        MessageSeen finished = go(s);
        ASSERT_TRUE(finished.box);
        expectFinishMessage(finished, dir / "a.qdx");
        answer(finished, true);
        close(s);
        s = open(input);
        ASSERT_TRUE(s.main) << describe(s.program);
        ASSERT_TRUE(click(s.main, IDO_CLASSIC));
        ASSERT_TRUE(click(s.main, IDO_STRING));
        press(s.main, IDB_CHOOSE_INPUT);
        ASSERT_TRUE(pickFile(s.program, dir / "a.qdx"));
        ASSERT_TRUE(settle(s.main));
        EXPECT_EQ(marks(s.main), "Classic File");
        EXPECT_EQ(itemText(s.main, IDE_KEY_FILE), keyPath);
        ASSERT_TRUE(typeText(s.main, IDE_OUTPUT, dir / "back"));
        finished = go(s);
        ASSERT_TRUE(finished.box);
        expectFinishMessage(finished, dir / "back\\a.txt");
        answer(finished, true);
        EXPECT_EQ(readWholeFile(dir / "back\\a.txt"), plain);
        close(s);
    }
}

// ---- Jobs that fail: each message the window can bring about, and the same reset ----

class JobOutcomeTest : public JobTest {
  protected:
    Bytes plain = patternBytes(4000, 21);
    std::string input = dir / "a.txt";
    std::string keyPath = dir / "key.bin";

    void SetUp() override {
        ASSERT_TRUE(writeWholeFile(input, plain));
        ASSERT_TRUE(writeWholeFile(keyPath, patternBytes(4000, 22)));
    }

    // Loads the input and the key, lets `spoil` change the world behind the window's back,
    // presses Go and expects `text` as the job's message; the window then returns to idle and
    // the input folder holds `left` and nothing else.
    void expectFailure(const std::function<void(const Session&)>& spoil, const std::string& text,
                       const std::vector<std::string>& left) {
        Session s = open(input);
        ASSERT_TRUE(s.main) << describe(s.program);
        ASSERT_TRUE(dropFileAndWait(s.program, s.main, keyPath));
        spoil(s);
        MessageSeen seen = go(s);
        ASSERT_TRUE(seen.box);
        EXPECT_EQ(seen.text, text);
        EXPECT_EQ(seen.yes, "OK");
        EXPECT_EQ(seen.no, "Quit Nimbrel");
        EXPECT_FALSE(seen.compact()) << seen.characterWidth;
        answer(seen, true);
        expectIdle(s);
        EXPECT_EQ(folderEntries(dir.path), left);
        close(s);
    }
};

TEST_F(JobOutcomeTest, InputFileGoneAfterLoading) {
    expectFailure([&](const Session&) { ASSERT_TRUE(DeleteFileA(input.c_str())); },
                  "File Read Error with \"" + input + "\": file not found.", {"key.bin"});
}

TEST_F(JobOutcomeTest, KeyFileGoneOrEmptiedAfterChoosing) {
    expectFailure([&](const Session&) { ASSERT_TRUE(DeleteFileA(keyPath.c_str())); }, "File Too Big",
                  {"a.txt"});
    ASSERT_TRUE(writeWholeFile(keyPath, patternBytes(4000, 22)));
    expectFailure([&](const Session&) { ASSERT_TRUE(writeWholeFile(keyPath, Bytes{})); }, "File Too Big",
                  {"a.txt", "key.bin"});
}

TEST_F(JobOutcomeTest, OutputFolderThatCannotBeCreated) {
    // Typed: two levels that do not exist; the job creates one level only.
    // The whole path and the system's reason (in Wine's words).
    expectFailure([&](const Session& s) { ASSERT_TRUE(typeText(s.main, IDE_OUTPUT, dir / "no\\such")); },
                  "File Write Error with \"" + (dir / "no\\such\\XOR a.txt") + "\": path not found.",
                  {"a.txt", "key.bin"});
    // "Add Name" below a folder that is then removed.
    std::string sub = dir / "sub";
    expectFailure(
        [&](const Session& s) {
            ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
            ASSERT_TRUE(typeText(s.main, IDE_OUTPUT, sub));
            ASSERT_TRUE(click(s.main, IDB_ADD_NAME));
            ASSERT_EQ(itemText(s.main, IDE_OUTPUT), sub + "\\a");
            ASSERT_TRUE(RemoveDirectoryA(sub.c_str()));
        },
        "File Write Error with \"" + (dir / "sub\\a\\XOR a.txt") + "\": path not found.",
        {"a.txt", "key.bin"});
}

// ---- While a job runs ----

// A job on a big input, held in the middle of writing its output (as a very slow disk would
// hold it), so that what the window does during a job is seen without racing the job.
class RunningJobTest : public JobTest {
  protected:
    static constexpr int64_t kBigSize = 200000000;
    std::string big = dir / "big.bin";
    std::string other = dir / "other.txt";
    std::string folder = dir / "elsewhere";

    void SetUp() override {
        // Zeros without writing them: the file's length is all the job needs.
        HANDLE f = CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        LARGE_INTEGER end;
        end.QuadPart = kBigSize;
        ASSERT_TRUE(SetFilePointerEx(f, end, nullptr, FILE_BEGIN) && SetEndOfFile(f));
        CloseHandle(f);
        ASSERT_TRUE(writeWholeFile(other, patternBytes(100, 1)));
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    }

    bool jobEnded(const Session& s) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        bool complete = GetFileAttributesExA((dir / "big.qdx").c_str(), GetFileExInfoStandard, &data) &&
                        ((int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow) == kBigSize + 336;
        return complete || messageBoxExists(s.program);
    }

    // A Classic encryption with a key string, held as soon as its output appears.
    void startHeldJob(Session& s, HeldThreads& held) {
        s = open(big);
        ASSERT_TRUE(s.main) << describe(s.program);
        ASSERT_TRUE(click(s.main, IDO_CLASSIC));
        ASSERT_TRUE(click(s.main, IDO_STRING));
        ASSERT_TRUE(typeText(s.main, IDE_KEY_STRING, "k"));
        std::vector<std::string> idle = folderEntries(dir.path);
        std::vector<DWORD> before = threadIdsOf(s.program.pid);
        press(s.main, IDB_GO);
        DWORD start = GetTickCount();
        while (folderEntries(dir.path) == idle && GetTickCount() - start < 15000) {
            Sleep(1);
        }
        ASSERT_NE(folderEntries(dir.path), idle) << "the job wrote nothing";
        ASSERT_GT(held.hold(s.program.pid, before), 0u);
        ASSERT_FALSE(jobEnded(s)) << "the job ended before it could be held";
    }
};

// Nothing but "Close": drops, the input "Choose...", "About", the keys that reach the focused
// control, and a Go that does not come from the disabled button.
TEST_F(RunningJobTest, WhileAJobRunsTheWindowTakesNothingButClose) {
    Session s;
    HeldThreads held;
    ASSERT_NO_FATAL_FAILURE(startHeldJob(s, held));
    ASSERT_TRUE(settle(s.main));
    EXPECT_EQ(windowText(s.main), "EnCrypting big.bin");
    {
        SCOPED_TRACE("a held Enter or Space after Go, or Esc, lands where it does nothing");
        HWND focus = focusOf(s.main);
        ASSERT_TRUE(focus);
        for (int i = 0; i < 3; ++i) {
            pressKey(focus, VK_RETURN);
            pressKey(focus, VK_SPACE);
            pressKey(focus, VK_ESCAPE);
        }
        ASSERT_TRUE(settlePosted(s.main))
            << "focus on control " << GetDlgCtrlID(focus) << "; " << describe(s.program);
        EXPECT_FALSE(messageBoxExists(s.program));
    }
    EXPECT_EQ(enabledPattern(s.main), "0000 000 000 0000000 0 00000 0");
    EXPECT_TRUE(isEnabled(s.main, IDE_INPUT));
    EXPECT_TRUE(isEnabled(s.main, IDB_CHOOSE_INPUT));
    EXPECT_TRUE(isEnabled(s.main, IDB_CLOSE));
    EXPECT_TRUE(isVisible(s.main, IDP_PROGRESS));
    EXPECT_FALSE(isVisible(s.main, IDB_HELP));

    // Drops of a file and of a folder, the input "Choose..." and "About" do nothing. "About"
    // lies under the progress bar now, so its command is sent straight to the window.
    ASSERT_TRUE(dropFileAndWait(s.program, s.main, other));
    ASSERT_TRUE(dropFileAndWait(s.program, s.main, folder));
    ASSERT_TRUE(click(s.main, IDB_CHOOSE_INPUT));
    ASSERT_TRUE(sendAndWait(s.main, WM_COMMAND, MAKEWPARAM(IDB_ABOUT, BN_CLICKED), 0));
    EXPECT_EQ(itemText(s.main, IDE_INPUT), big);
    EXPECT_EQ(itemText(s.main, IDE_OUTPUT), dir.path + "\\");
    EXPECT_EQ(enabledPattern(s.main), "0000 000 000 0000000 0 00000 0");
    EXPECT_FALSE(messageBoxExists(s.program));
    for (HWND w : topWindowsOf(s.program.pid, "#32770")) {
        EXPECT_FALSE(isOpenPicker(w) || isAboutDialog(w)) << windowText(w);
    }
    {
        SCOPED_TRACE("a stray Go, with another input typed, starts nothing");
        ASSERT_TRUE(typeText(s.main, IDE_INPUT, other));
        ASSERT_TRUE(sendAndWait(s.main, WM_COMMAND, MAKEWPARAM(IDB_GO, BN_CLICKED), 0));
        EXPECT_EQ(windowText(s.main), "EnCrypting big.bin");
        EXPECT_FALSE(messageBoxExists(s.program));
    }
    ASSERT_FALSE(jobEnded(s)) << "the job was not held throughout";

    held.release();
    MessageSeen finished = waitForMessage(s.program, 60000);
    ASSERT_TRUE(finished.box);
    expectFinishMessage(finished);
    answer(finished, true);
    expectIdle(s);
    // The job is the one started: the dropped file never became its input.
    Bytes head(kMaxHeaderLength);
    HANDLE f = CreateFileA((dir / "big.qdx").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD got = 0;
    ReadFile(f, head.data(), DWORD(head.size()), &got, nullptr);
    LARGE_INTEGER size;
    GetFileSizeEx(f, &size);
    CloseHandle(f);
    EXPECT_EQ(size.QuadPart, kBigSize + 336);
    ContainerHeader header = headerOf(head);
    EXPECT_STREQ(header.plainName, "big.bin");
    EXPECT_FALSE(fileExists(dir / "other.qdx"));

    // After the job the next drop is an input file again.
    ASSERT_TRUE(dropFileAndWait(s.program, s.main, other));
    EXPECT_EQ(itemText(s.main, IDE_INPUT), other);
    close(s);
}

TEST_F(RunningJobTest, CloseDuringAJobEndsTheProgramAndLeavesNoPartialOutput) {
    Session s;
    HeldThreads held;
    ASSERT_NO_FATAL_FAILURE(startHeldJob(s, held));
    EXPECT_GT(folderEntries(dir.path).size(), 3u) << "no partial output to remove";
    press(s.main, IDB_CLOSE);
    EXPECT_EQ(s.program.waitForExit(), kExit);
    std::vector<std::string> left = folderEntries(dir.path);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"big.bin", "elsewhere", "other.txt"}));
}

} // namespace
