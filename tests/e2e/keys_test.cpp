// The key material tools through the real window: Create then Go, Analyse, the Drive key
// source with and without a prepared drive, and the KeyStore's prompts.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>

#include "keys/keystore.h"
#include "support/driver.h"
#include "support/expected.h"
#include "support/win_files.h"
#include "support/wine_drives.h"

namespace {

class KeysEndToEnd : public ::testing::Test {
  protected:
    TempFolder dir{"e2ekeys"};
    Program program;
    HWND main = nullptr;

    // Starts the program with `input` as argument 1, as the shell association does.
    void open(const std::string& input) {
        program = startNimbrel("\"" + input + "\"");
        main = waitForMainDialog(program);
        ASSERT_TRUE(main);
        ASSERT_TRUE(waitUntil([&] { return itemText(main, IDE_INPUT) == input; }));
    }
    void finish() {
        press(main, IDB_CLOSE);
        EXPECT_EQ(program.waitForExit(), kExit);
    }
    MessageSeen expectMessage(const std::string& text, const std::string& yes, const std::string& no,
                              DWORD ms = 15000) {
        MessageSeen seen = waitForMessage(program, ms);
        EXPECT_TRUE(seen.box);
        EXPECT_EQ(seen.text, text);
        EXPECT_EQ(seen.yes, yes);
        EXPECT_EQ(seen.no, no);
        return seen;
    }
    void go() {
        ASSERT_TRUE(waitUntil([&] { return isEnabled(main, IDB_GO); }));
        press(main, IDB_GO);
        MessageSeen done = waitForMessage(program, 60000);
        ASSERT_TRUE(done.box);
        EXPECT_EQ(done.text.rfind("Finished XORing in ", 0), 0u) << done.text;
        answer(done, true);
    }
};

TEST_F(KeysEndToEnd, CreateThenGoEncryptsWithTheNewKey) {
    Bytes plain = patternBytes(3000, 1);
    std::string input = dir / "a.txt";
    writeWholeFile(input, plain);
    open(input);
    ASSERT_TRUE(isChecked(main, IDO_FILE));
    press(main, IDB_CREATE);
    // Written beside the file, so it says where, and to keep the key apart.
    answer(
        expectMessage("The new key file is \"" + dir / "KeyFile.txt" +
                          "\". Keep it apart from the encrypted file (on a removable drive, say, or with "
                          "the person who is to decrypt it): anyone who has both can read the file. Use it "
                          "for this one file only.",
                      "OK", "Open ReadMe"),
        true);
    ASSERT_TRUE(waitUntil([&] { return itemText(main, IDE_KEY_FILE) == dir / "KeyFile.txt"; }));
    EXPECT_EQ(itemText(main, IDE_BYTE_COUNT), "4096");
    Bytes key = readWholeFile(dir / "KeyFile.txt");
    ASSERT_EQ(key.size(), 4096u);
    go();
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"), xorWithKeyFile(plain, key));
    finish();
}

TEST_F(KeysEndToEnd, AnalyseShowsTheVerdict) {
    std::string input = dir / "a.txt";
    writeWholeFile(input, patternBytes(1000, 2));
    struct Case {
        Bytes key;
        const char* verdict;
    } cases[] = {
        // Zeros leave the data as it is: never better than "very bad", with the job's own reason.
        {Bytes(4096, 0), "This file is a very bad keyfile. Usage is not recommended as it contains excessive "
                         "repetition and/or blank sections. Tested as a job with the loaded file would test "
                         "it, this is a key file as long as the data but not random: all its bytes are 0x00, "
                         "so the output shows the data. Not a one-time pad."},
        {Bytes(1, 0), "This file is a very bad keyfile. Usage is not recommended as it contains excessive "
                      "repetition and/or blank sections. Tested as a job with the loaded file would test it, "
                      "this is a key that would leave the file readable: every byte of the key file is 0x00, "
                      "so the output would be the file itself, byte for byte."},
        {Bytes(), "Cannot open Keyfile"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verdict);
        open(input);
        std::string keyPath = dir / "key.bin";
        writeWholeFile(keyPath, c.key);
        ASSERT_TRUE(dropFile(program, main, keyPath));
        // A key shorter than the input brings the size advice first.
        if (c.key.size() < 1000) {
            MessageSeen advice = expectMessage(
                "For optimum security Key file should be the same size or greater than the file to be EnCrypted",
                "OK", "Open ReadMe");
            answer(advice, true);
        }
        ASSERT_TRUE(waitUntil(
            [&] { return itemText(main, IDE_KEY_FILE) == keyPath && isEnabled(main, IDB_ANALYSE); }));
        press(main, IDB_ANALYSE);
        MessageSeen seen = expectMessage(c.verdict, "OK", "Open ReadMe");
        EXPECT_TRUE(seen.compact());
        answer(seen, true);
        finish();
    }
}

TEST_F(KeysEndToEnd, TheDriveSourceTakesAKeyListedOnARemovableDrive) {
    TempFolder medium("medium");
    Bytes key = patternBytes(8000, 3);
    writeWholeFile(medium / "office.bin", key);
    writeWholeFile(medium / "KeyRing.txt", std::string("# office keys\r\nOffice key\r\noffice.bin\r\n"));
    TestDrive drive('R', medium.path, DRIVE_REMOVABLE);
    ASSERT_TRUE(drive.made);

    Bytes plain = patternBytes(5000, 4);
    std::string input = dir / "a.txt";
    writeWholeFile(input, plain);
    open(input);
    ASSERT_TRUE(waitUntil([&] { return isChecked(main, IDO_DRIVE); }));
    EXPECT_EQ(itemText(main, IDC_DRIVES), "R");
    EXPECT_EQ(itemText(main, IDC_KEY_FILES), "Office key");
    EXPECT_EQ(itemText(main, IDE_KEY_FILE), "R:/office.bin");
    EXPECT_TRUE(isEnabled(main, IDC_DRIVES));
    EXPECT_TRUE(isEnabled(main, IDB_REFRESH));
    go();
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"), xorWithKeyFile(plain, key));
    finish();
}

TEST_F(KeysEndToEnd, TheDriveSourceWithoutAnIndexFallsBackToFile) {
    std::string input = dir / "a.txt";
    writeWholeFile(input, patternBytes(100, 5));
    open(input);
    press(main, IDO_DRIVE);
    MessageSeen seen = expectMessage(
        "No valid index in any removable drive. Refer to ReadMe for further details.", "OK", "Open ReadMe");
    EXPECT_TRUE(seen.compact());
    answer(seen, true);
    ASSERT_TRUE(waitUntil([&] { return isChecked(main, IDO_FILE) && !isChecked(main, IDO_DRIVE); }));
    EXPECT_TRUE(isEnabled(main, IDB_CHOOSE_KEY));
    finish();
}

class KeyStoreEndToEnd : public KeysEndToEnd {
  protected:
    std::string store = appDataFolder() + "\\Orvensoft\\Random\\keyblock.txt";
    std::string pad = appDataFolder() + "\\Orvensoft\\Padforge\\PAD.txt";
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    void clear() {
        removeTree(appDataFolder() + "\\Orvensoft");
        removeTree(appDataFolder() + "\\Vostra");
    }
    void storeWith(const Bytes& bytes) {
        CreateDirectoryA((appDataFolder() + "\\Orvensoft").c_str(), nullptr);
        CreateDirectoryA((appDataFolder() + "\\Orvensoft\\Random").c_str(), nullptr);
        ASSERT_TRUE(writeWholeFile(store, bytes));
    }
};

TEST_F(KeyStoreEndToEnd, SetUpThenDrawThenEmpty) {
    CreateDirectoryA((appDataFolder() + "\\Orvensoft").c_str(), nullptr);
    CreateDirectoryA((appDataFolder() + "\\Orvensoft\\Padforge").c_str(), nullptr);
    Bytes padBytes = patternBytes(5000, 6);
    writeWholeFile(pad, padBytes);
    std::string input = dir / "a.txt";
    writeWholeFile(input, patternBytes(3000, 7));
    open(input);

    press(main, IDB_KEYSTORE);
    MessageSeen offer = expectMessage(
        "KeyStore is not set up yet. KeyStore allows you to easily use the output from Vostra Computing key file "
        "makers, including Padforge.",
        "Setup KeyStore now", "Don't do this");
    EXPECT_TRUE(offer.compact());
    answer(offer, true);
    MessageSeen generate = expectMessage(
        "The KeyStore has enough data for your file. KeyFile will be generated and moved to the output directory.",
        "Generate", "Cancel");
    answer(generate, true);
    ASSERT_TRUE(waitUntil([&] { return itemText(main, IDE_KEY_FILE) == dir / "KeyFile.txt"; }));
    EXPECT_EQ(readWholeFile(dir / "KeyFile.txt"), Bytes(padBytes.begin(), padBytes.begin() + 4096));
    EXPECT_EQ(readWholeFile(store), Bytes(padBytes.begin() + 4096, padBytes.end()));
    EXPECT_TRUE(readWholeFile(pad).empty());

    press(main, IDB_KEYSTORE);
    answer(expectMessage("KeyStore is empty", "OK", "Open ReadMe"), true);
    finish();
}

TEST_F(KeyStoreEndToEnd, DecliningTheSetUpChangesNothingAndNoPadIsSaid) {
    std::string input = dir / "a.txt";
    writeWholeFile(input, patternBytes(3000, 7));
    open(input);
    press(main, IDB_KEYSTORE);
    answer(expectMessage(
               "No Pad file found in KeyStore or in Padforge data store. Padforge is either not installed or "
               "not set up to make Pad files.",
               "OK", "Open ReadMe"),
           true);

    // A pad that Padforge makes while the program runs is seen at the next press.
    CreateDirectoryA((appDataFolder() + "\\Orvensoft").c_str(), nullptr);
    CreateDirectoryA((appDataFolder() + "\\Orvensoft\\Padforge").c_str(), nullptr);
    writeWholeFile(pad, patternBytes(2000, 8));
    press(main, IDB_KEYSTORE);
    MessageSeen offer =
        expectMessage("KeyStore is not set up yet. KeyStore allows you to easily use the output from "
                      "Vostra Computing key file makers, including Padforge.",
                      "Setup KeyStore now", "Don't do this");
    ASSERT_TRUE(offer.box);
    answer(offer, false);
    Sleep(300);
    EXPECT_TRUE(dialogsOf(program.pid).size() == 1u); // nothing more is asked
    EXPECT_FALSE(fileExists(store));
    EXPECT_EQ(readWholeFile(pad).size(), 2000u);
    finish();
}

TEST_F(KeyStoreEndToEnd, AStoreTooSmallForTheFileAsksBeforeUsingIt) {
    CreateDirectoryA((appDataFolder() + "\\Orvensoft").c_str(), nullptr);
    CreateDirectoryA((appDataFolder() + "\\Orvensoft\\Random").c_str(), nullptr);
    Bytes data = patternBytes(3000, 9);
    writeWholeFile(store, data);
    std::string input = dir / "a.txt";
    writeWholeFile(input, patternBytes(3000, 10));
    open(input);
    press(main, IDB_KEYSTORE);
    MessageSeen ask =
        expectMessage("The KeyStore data is too small for your file. If you use the KeyStore your file "
                      "will not be as securely encrypted. Use anyway?",
                      "Generate", "Cancel");
    answer(ask, false);
    EXPECT_EQ(readWholeFile(store), data);
    press(main, IDB_KEYSTORE);
    answer(waitForMessage(program), true);
    // The key is whole once the window shows it: until then adoption may hold it open.
    ASSERT_TRUE(waitUntil([&] { return itemText(main, IDE_KEY_FILE) == dir / "KeyFile.txt"; }));
    EXPECT_EQ(readWholeFile(dir / "KeyFile.txt"), data);
    EXPECT_TRUE(readWholeFile(store).empty());
    finish();
}

TEST_F(KeyStoreEndToEnd, CreateAndADrawAskBeforeReplacingKeyFile) {
    struct Case {
        bool draw;
        bool replace;
    } cases[] = {{false, false}, {false, true}, {true, false}, {true, true}};
    Bytes data = patternBytes(10000, 11);
    std::string input = dir / "a.txt";
    writeWholeFile(input, patternBytes(3000, 12));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.draw ? "KeyStore" : "Create") + (c.replace ? ", replace" : ", keep"));
        clear();
        storeWith(data);
        writeWholeFile(dir / "KeyFile.txt", std::string("older key"));
        open(input);
        if (c.draw) {
            press(main, IDB_KEYSTORE);
            MessageSeen offer = waitForMessage(program);
            ASSERT_EQ(offer.yes, "Generate") << offer.text;
            answer(offer, true);
        } else {
            press(main, IDB_CREATE);
        }
        MessageSeen ask =
            expectMessage("KeyFile.txt already exists in \"" + itemText(main, IDE_OUTPUT) +
                              "\". It may be the only key to files encrypted with it. Replace it "
                              "with a new key?",
                          "Replace KeyFile.txt", "Keep old KeyFile.txt");
        EXPECT_TRUE(ask.compact());
        answer(ask, c.replace);
        if (c.replace && !c.draw) {
            MessageSeen written = waitForMessage(program);
            ASSERT_TRUE(written.box);
            EXPECT_EQ(written.text.rfind("The new key file is ", 0), 0u) << written.text;
            answer(written, true);
        }
        if (c.replace) {
            ASSERT_TRUE(waitUntil([&] { return itemText(main, IDE_KEY_FILE) == dir / "KeyFile.txt"; }));
            Bytes key = readWholeFile(dir / "KeyFile.txt");
            EXPECT_EQ(key.size(), 4096u);
            if (c.draw) {
                EXPECT_TRUE(key == Bytes(data.begin(), data.begin() + 4096));
                EXPECT_TRUE(readWholeFile(store) == Bytes(data.begin() + 4096, data.end()));
            }
        } else {
            // Nothing written, nothing drawn, no key chosen.
            ASSERT_TRUE(settle(main));
            Bytes kept = readWholeFile(dir / "KeyFile.txt");
            EXPECT_EQ(std::string(kept.begin(), kept.end()), "older key");
            EXPECT_TRUE(readWholeFile(store) == data);
            EXPECT_EQ(itemText(main, IDE_KEY_FILE), "");
        }
        EXPECT_EQ(folderEntries(dir.path).size(), 2u); // a.txt and KeyFile.txt, no temporary file
        finish();
    }
}

TEST_F(KeyStoreEndToEnd, CloseDuringAStartUpFillThenARestartMovesThePadOnce) {
    // A store below the minimum is fed at start-up; the pad is big enough to still be moving
    // when Close is pressed.
    Bytes start = patternBytes(100, 13);
    storeWith(start);
    CreateDirectoryA((appDataFolder() + "\\Orvensoft\\Padforge").c_str(), nullptr);
    const size_t padSize = size_t(512) << 20;
    Bytes padBytes = patternBytes(padSize, 14);
    ASSERT_TRUE(writeWholeFile(pad, padBytes));
    // Sizes only: the program holds the files unshared while it works.
    auto sizeOf = [](const std::string& path) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)
                   ? (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow
                   : 0;
    };
    program = startNimbrel("");
    main = waitForMainDialog(program);
    ASSERT_TRUE(main);
    ASSERT_TRUE(waitUntil([&] { return sizeOf(store) > start.size(); }, 15000)) << "no fill began";
    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
    // Some of the pad is in the store and all of it still in the pad file.
    ASSERT_EQ(sizeOf(pad), padSize) << "the fill was over before Close: the test needs a larger pad";

    // KeyStore pressed while the restart settles and refills the store answers for the store as
    // it is once that is over, not for what was measured before the fill (or nothing at all).
    std::string input = dir / "a.txt";
    writeWholeFile(input, patternBytes(3000, 15));
    program = startNimbrel("\"" + input + "\"");
    main = waitForMainDialog(program);
    ASSERT_TRUE(main);
    ASSERT_TRUE(waitUntil([&] { return isEnabled(main, IDB_KEYSTORE); }));
    press(main, IDB_KEYSTORE);
    answer(expectMessage("The KeyStore has enough data for your file. KeyFile will be generated and moved to "
                         "the output directory.",
                         "Generate", "Cancel", 60000),
           false);
    ASSERT_TRUE(waitUntil([&] { return sizeOf(pad) == 0; }, 60000));
    finish();
    Bytes stored = readWholeFile(store);
    ASSERT_EQ(stored.size(), start.size() + padSize);
    EXPECT_TRUE(std::equal(start.begin(), start.end(), stored.begin()));
    EXPECT_TRUE(std::equal(padBytes.begin(), padBytes.end(), stored.begin() + start.size()));
}

// A draw that the last run left between its two renames is settled at the next start, and what
// became of its bytes is said once the window shows: a key put in place, or bytes given up.
TEST_F(KeyStoreEndToEnd, ARestartSaysWhatItSettledOfAnEndedDraw) {
    const Bytes data = patternBytes(10000, 21);
    const uint64_t length = 4096;
    struct Case {
        const char* what;
        bool storeRenamed; // the store already without the key's bytes
        bool folderThere;
        std::string says;
        size_t storeAfter;
    } cases[] = {
        {"the key's folder gone: the bytes are given up", false, false,
         "could not be put in place as \"" + dir / "gone\\KeyFile.txt" +
             "\": its folder is gone or out of reach. The 4096 bytes drawn for it have left the KeyStore",
         data.size() - length},
        {"the draft whole: it becomes the key", true, true,
         "has been put in place: \"" + dir / "gone\\KeyFile.txt" + "\" (4096 bytes).", data.size() - length},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        removeTree(dir / "gone");
        storeWith(c.storeRenamed ? Bytes(data.begin() + length, data.end()) : data);
        const std::string draft = dir / "gone\\nbk1.tmp";
        if (c.folderThere) {
            CreateDirectoryA((dir / "gone").c_str(), nullptr);
            ASSERT_TRUE(writeWholeFile(draft, Bytes(data.begin(), data.begin() + length)));
        }
        KeyStoreJournal journal{KeyStoreChange::Draw, 0, data.size(), length, ""};
        copyText(draft.c_str(), journal.draft);
        uint8_t bytes[kJournalBytes];
        ASSERT_TRUE(encodeKeyStoreJournal(journal, bytes));
        ASSERT_TRUE(writeWholeFile(appDataFolder() + "\\Orvensoft\\Random\\keyblock.jnl",
                                   Bytes(bytes, bytes + sizeof bytes)));

        program = startNimbrel("");
        main = waitForMainDialog(program);
        ASSERT_TRUE(main);
        MessageSeen said = waitForMessage(program, 30000);
        ASSERT_TRUE(said.box);
        EXPECT_NE(said.text.find(c.says), std::string::npos) << said.text;
        answer(said, true);
        EXPECT_EQ(readWholeFile(store).size(), c.storeAfter);
        EXPECT_EQ(fileExists(dir / "gone\\KeyFile.txt"), c.folderThere);
        // Said once: the record is gone, so the next start has nothing to say.
        EXPECT_FALSE(fileExists(appDataFolder() + "\\Orvensoft\\Random\\keyblock.jnl"));
        finish();
    }
    removeTree(dir / "gone");
}

// Two copies of the program on one KeyStore, pressing KeyStore at once round after round while
// the pad maker keeps adding pads: fills and draws interleave, and every pad word ends up in
// exactly one of the pad file, the store and the keys handed out.
TEST_F(KeyStoreEndToEnd, TwoCopiesOnOneStoreNeverHandOutAPadWordTwice) {
    auto words = [](uint32_t first, uint32_t count) {
        Bytes bytes(size_t(count) * 4);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t word = first + i;
            std::memcpy(&bytes[size_t(i) * 4], &word, 4);
        }
        return bytes;
    };
    CreateDirectoryA((appDataFolder() + "\\Orvensoft").c_str(), nullptr);
    CreateDirectoryA((appDataFolder() + "\\Orvensoft\\Padforge").c_str(), nullptr);
    const uint32_t padWords = 1500; // a pad a round: room for one 4,096-byte key and a bit
    uint32_t written = 0;
    std::string input = dir / "a.txt";
    writeWholeFile(input, patternBytes(3000, 16));
    Program copies[2];
    HWND windows[2];
    for (int c = 0; c < 2; ++c) {
        copies[c] = startNimbrel("\"" + input + "\"");
        windows[c] = waitForMainDialog(copies[c]);
        ASSERT_TRUE(windows[c]);
    }
    const int rounds = 16;
    int boxes = 0, busy = 0, short_ = 0, keys = 0;
    for (int round = 0; round < rounds; ++round) {
        if (readWholeFile(pad).empty()) {
            ASSERT_TRUE(writeWholeFile(pad, words(written, padWords)));
            written += padWords;
        }
        bool waiting[2] = {true, true};
        bool answered[2] = {false, false};
        for (int c = 0; c < 2; ++c) {
            std::string out = dir / ("r" + std::to_string(round) + "c" + std::to_string(c));
            CreateDirectoryA(out.c_str(), nullptr);
            ASSERT_TRUE(waitUntil([&] { return isEnabled(windows[c], IDB_KEYSTORE); }));
            ASSERT_TRUE(typeText(windows[c], IDE_OUTPUT, out));
            press(windows[c], IDB_KEYSTORE);
        }
        // Every press shows at least one box; the command is over once the window is back in
        // its own loop with no box left. Every box gets its upper button: set up, generate,
        // replace, OK.
        ASSERT_TRUE(waitUntil(
            [&] {
                for (int c = 0; c < 2; ++c) {
                    if (!waiting[c]) {
                        continue;
                    }
                    if (messageBoxExists(copies[c])) {
                        MessageSeen seen = waitForMessage(copies[c], 2000);
                        if (seen.box) {
                            ++boxes;
                            busy += seen.text.find("in use by another copy") != std::string::npos;
                            short_ += seen.text.find("fewer bytes than the key needs") != std::string::npos;
                            answer(seen, true);
                            answered[c] = true;
                        }
                    } else if (answered[c] && settle(windows[c]) && !messageBoxExists(copies[c])) {
                        waiting[c] = false;
                    }
                }
                return !waiting[0] && !waiting[1];
            },
            60000))
            << "round " << round;
    }
    for (int c = 0; c < 2; ++c) {
        press(windows[c], IDB_CLOSE);
        EXPECT_EQ(copies[c].waitForExit(), kExit);
    }
    std::vector<int> seen(written);
    auto count = [&](const Bytes& bytes) {
        for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
            uint32_t w;
            std::memcpy(&w, &bytes[i], 4);
            ASSERT_LT(w, written);
            ++seen[w];
        }
    };
    count(readWholeFile(pad));
    count(readWholeFile(store));
    for (int round = 0; round < rounds; ++round) {
        for (int c = 0; c < 2; ++c) {
            Bytes key = readWholeFile(dir / ("r" + std::to_string(round) + "c" + std::to_string(c)) +
                                      "\\KeyFile.txt");
            keys += !key.empty();
            count(key);
        }
    }
    for (uint32_t w = 0; w < written; ++w) {
        ASSERT_EQ(seen[w], 1) << "pad word " << w << " of " << written;
    }
    printf(
        "%d rounds: %u pad words, %d keys drawn, %d boxes answered, %d said the store was busy, %d that it "
        "had been drawn from meanwhile\n",
        rounds, written, keys, boxes, busy, short_);
    EXPECT_GT(keys, rounds / 2);
}

} // namespace
