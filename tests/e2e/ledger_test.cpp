// The key-use ledger through every front end: the window asks, the windowless run refuses, the
// console tool refuses unless told, wherever the ledger knows the key as used or cannot vouch
// for it; and two copies started together never both encrypt with one pad.
#include <gtest/gtest.h>

#include "support/driver.h"
#include "support/win_files.h"
#include "win/handle_win.h"

namespace {

enum class Front { Window, Windowless, Tool };

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

bool startsWith(const std::string& text, const char* lead) {
    return text.rfind(lead, 0) == 0;
}

// The program and the tool copied into a folder of their own: the ledger beside them is this
// test's alone.
struct Programs {
    std::string program, tool, ledger;
};

// Runs one encryption (or XOR) of `input` with `key` into `out` and says what the user saw:
// "done", "asked, cancelled", "asked, done", "refused", and for the window a note after the job.
std::string runJob(Front front, const Programs& p, const std::string& input, const std::string& key,
                   const std::string& out, bool goOn) {
    if (front == Front::Windowless) {
        Program run = startProgram(p.program, quoted("/i=" + input) + " " + quoted("/f=" + key) + " " +
                                                  quoted("/o=" + out));
        DWORD code = run.waitForExit(60000);
        return code == kExit ? "done" : code == kExit + 2 ? "refused" : "exit " + std::to_string(code);
    }
    if (front == Front::Tool) {
        Program run = startProgram(p.tool, "xor " + quoted(input) + " --key-file " + quoted(key) + " -o " +
                                               quoted(out) + " --quiet" + (goOn ? " --allow-key-reuse" : ""));
        DWORD code = run.waitForExit(60000);
        return code == 0 ? "done" : code == 2 ? "refused" : "exit " + std::to_string(code);
    }
    Program run = startProgram(p.program, "");
    HWND main = waitForReadyMainDialog(run);
    if (!main || !dropFileAndWait(run, main, input) || !dropFileAndWait(run, main, key) ||
        !typeText(main, IDE_OUTPUT, out)) {
        return "no window: " + describe(run);
    }
    press(main, IDB_GO);
    std::string seen;
    MessageSeen message = waitForMessage(run, 30000);
    // A question: the harmless answer on the lower button.
    if (message.no == "Cancel") {
        EXPECT_TRUE(message.yes == "Use it anyway" || message.yes == "Go on anyway") << message.yes;
        seen = "asked, ";
        answer(message, goOn);
        if (!goOn) {
            seen += "cancelled";
            EXPECT_TRUE(settle(main));
            EXPECT_FALSE(messageBoxExists(run));
            press(main, IDB_CLOSE);
            EXPECT_EQ(run.waitForExit(), kExit);
            return seen;
        }
        message = waitForMessage(run, 60000);
    }
    if (!startsWith(message.text, "Finished XORing")) {
        return seen + "message: " + message.text + " / " + describe(run) + " / " + windowText(main) + " / " +
               enabledPattern(main) + " / " + itemText(main, IDE_INPUT) + " / " +
               itemText(main, IDE_KEY_FILE);
    }
    seen += "done";
    const HWND finished = message.box;
    answer(message, true);
    // The ledger's note, when there is one, comes before the window is ready for the next job;
    // the finish message may still be on its way out.
    HWND noteBox = nullptr;
    waitUntil([&] {
        for (HWND w : topWindowsOf(run.pid, "#32770")) {
            if (w != finished && isMessageBox(w)) {
                noteBox = w;
                return true;
            }
        }
        return itemText(main, IDE_INPUT) == "None Selected";
    });
    if (noteBox) {
        waitUntil([&] {
            return itemText(noteBox, IDB_MESSAGE_YES) == "OK" && !itemText(noteBox, IDE_MESSAGE_TEXT).empty();
        });
        MessageSeen note = readMessageBox(noteBox);
        seen += note.text.find("was damaged") != std::string::npos ? ", note: damaged"
                : note.text.find("could not be read or written") != std::string::npos
                    ? ", note: not written"
                    : ", note: " + note.text;
        answer(note, true);
    }
    press(main, IDB_CLOSE);
    EXPECT_EQ(run.waitForExit(), kExit);
    return seen;
}

size_t lineCount(const std::string& path) {
    Bytes bytes = readWholeFile(path);
    return size_t(std::count(bytes.begin(), bytes.end(), uint8_t('\n')));
}

TEST(KeyLedger, EachFrontEndWarnsOfAPadUsedForOtherDataAndNeverLosesAJobToTheLedger) {
    TempFolder dir("ledger");
    Programs p{dir / "Nimbrel.exe", dir / "nimbrel-cli.exe", dir / "KeyLedger.txt"};
    ASSERT_TRUE(CopyFileA(builtProgram().c_str(), p.program.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((testProgramFolder() + "nimbrel-cli.exe").c_str(), p.tool.c_str(), FALSE));
    for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin"}) {
        ASSERT_TRUE(writeWholeFile(dir / name, patternBytes(3000, uint8_t(name[0]))));
    }
    enum Prep { Nothing, Damage, FolderInItsPlace };
    struct Case {
        const char* what;
        const char* input; // in the folder, or the first row's output
        const char* key;
        Prep prep;
        bool goOn; // the answer "Use it anyway", or --allow-key-reuse
        const char* window;
        const char* windowless;
        const char* tool;
        size_t ledgerLines; // after the row, header included; 0 for not checked
    } cases[] = {
        {"first use", "a.bin", "k1.key", Nothing, false, "done", "done", "done", 2},
        {"the same data again", "a.bin", "k1.key", Nothing, false, "done", "done", "done", 2},
        {"decryption of what the key made", "1\\XOR a.bin", "k1.key", Nothing, false, "done", "done", "done",
         2},
        {"other data", "b.bin", "k1.key", Nothing, false, "asked, cancelled", "refused", "refused", 2},
        {"other data, all the same", "b.bin", "k1.key", Nothing, true, "asked, done", "refused", "done", 0},
        {"a damaged ledger", "c.bin", "k2.key", Damage, true, "asked, done", "refused", "done", 0},
        {"a ledger that cannot be read", "d.bin", "k3.key", FolderInItsPlace, true, "asked, done", "refused",
         "done", 0},
    };
    for (Front front : {Front::Window, Front::Windowless, Front::Tool}) {
        const char* frontName = front == Front::Window       ? "window"
                                : front == Front::Windowless ? "windowless"
                                                             : "tool";
        SCOPED_TRACE(frontName);
        removeTree(p.ledger);
        DeleteFileA(p.ledger.c_str());
        for (const char* key : {"k1.key", "k2.key", "k3.key"}) {
            ASSERT_TRUE(writeWholeFile(dir / key, patternBytes(5000, uint8_t(key[1] * 7))));
        }
        int row = 0;
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            ++row;
            const std::string out = dir / (std::string(frontName) + "_" + std::to_string(row));
            if (c.prep == Damage) {
                Bytes ledger = readWholeFile(p.ledger);
                const std::string junk = "2026-13-45 not a line\r\n";
                ledger.insert(ledger.end(), junk.begin(), junk.end());
                ASSERT_TRUE(writeWholeFile(p.ledger, ledger));
            } else if (c.prep == FolderInItsPlace) {
                DeleteFileA(p.ledger.c_str());
                ASSERT_TRUE(CreateDirectoryA(p.ledger.c_str(), nullptr));
            }
            std::string input = dir / (std::string(c.input).find('\\') != std::string::npos
                                           ? std::string(frontName) + "_" + c.input
                                           : std::string(c.input));
            const std::string expected = front == Front::Window       ? c.window
                                         : front == Front::Windowless ? c.windowless
                                                                      : c.tool;
            EXPECT_EQ(runJob(front, p, input, dir / c.key, out, c.goOn), expected);
            const bool written = expected.find("done") != std::string::npos;
            std::string name = input.substr(input.find_last_of('\\') + 1);
            EXPECT_EQ(readWholeFile(out + "\\XOR " + name).size(), written ? 3000u : 0u);
            if (c.ledgerLines) {
                EXPECT_EQ(lineCount(p.ledger), c.ledgerLines);
            }
            if (c.prep == Damage) {
                // Gone on without its damaged line where the job went on, and kept whole beside it.
                const Bytes ledger = readWholeFile(p.ledger);
                EXPECT_EQ(std::string(ledger.begin(), ledger.end()).find("not a line") == std::string::npos,
                          written);
                const Bytes aside = readWholeFile(dir / "KeyLedger.damaged.txt");
                EXPECT_EQ(std::string(aside.begin(), aside.end()).find("not a line") != std::string::npos,
                          written);
                DeleteFileA((dir / "KeyLedger.damaged.txt").c_str());
            }
        }
        removeTree(p.ledger);
    }
}

// Two windowless runs, or a windowless run and the console tool, started together on two
// different files with two byte-identical copies of one fresh key file: exactly one encrypts,
// the other is refused as a key that cannot be used.
TEST(KeyLedger, TwoCopiesStartedTogetherNeverBothUseOnePad) {
    TempFolder dir("ledger_race");
    Programs p{dir / "Nimbrel.exe", dir / "nimbrel-cli.exe", dir / "KeyLedger.txt"};
    ASSERT_TRUE(CopyFileA(builtProgram().c_str(), p.program.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((testProgramFolder() + "nimbrel-cli.exe").c_str(), p.tool.c_str(), FALSE));
    const size_t size = 60000000; // three chunks: long enough for the two jobs to meet
    ASSERT_TRUE(writeWholeFile(dir / "a.bin", patternBytes(size, 'a')));
    ASSERT_TRUE(writeWholeFile(dir / "b.bin", patternBytes(size, 'b')));
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        const bool withTool = round % 2 == 1;
        const Bytes key = patternBytes(size + 5, uint8_t(round * 37 + 1));
        const std::string keys[] = {dir / ("k" + std::to_string(round) + ".key"),
                                    dir / ("k" + std::to_string(round) + "-copy.key")};
        ASSERT_TRUE(writeWholeFile(keys[0], key));
        ASSERT_TRUE(writeWholeFile(keys[1], key));
        const std::string outs[] = {dir / ("r" + std::to_string(round) + "a"),
                                    dir / ("r" + std::to_string(round) + "b")};
        CreateDirectoryA(outs[0].c_str(), nullptr);
        CreateDirectoryA(outs[1].c_str(), nullptr);
        Program one = startProgram(p.program, quoted("/i=" + dir / "a.bin") + " " + quoted("/f=" + keys[0]) +
                                                  " " + quoted("/o=" + outs[0]));
        Program two =
            withTool ? startProgram(p.tool, "xor " + quoted(dir / "b.bin") + " --key-file " +
                                                quoted(keys[1]) + " -o " + quoted(outs[1]) + " --quiet")
                     : startProgram(p.program, quoted("/i=" + dir / "b.bin") + " " + quoted("/f=" + keys[1]) +
                                                   " " + quoted("/o=" + outs[1]));
        const DWORD codes[] = {one.waitForExit(120000), two.waitForExit(120000)};
        const bool done[] = {codes[0] == kExit, withTool ? codes[1] == 0 : codes[1] == kExit};
        const bool refused[] = {codes[0] == kExit + 2, withTool ? codes[1] == 2 : codes[1] == kExit + 2};
        EXPECT_EQ(int(done[0]) + int(done[1]), 1) << codes[0] << " " << codes[1];
        EXPECT_EQ(int(refused[0]) + int(refused[1]), 1) << codes[0] << " " << codes[1];
        EXPECT_EQ(readWholeFile(outs[0] + "\\XOR a.bin").size(), done[0] ? size : 0u);
        EXPECT_EQ(readWholeFile(outs[1] + "\\XOR b.bin").size(), done[1] ? size : 0u);
        for (const std::string& out : outs) {
            DeleteFileA((out + "\\XOR a.bin").c_str());
            DeleteFileA((out + "\\XOR b.bin").c_str());
        }
    }
    EXPECT_EQ(lineCount(p.ledger), 5u);
}

// In one run of the window, each kind of ledger problem is said the first time it arises: a
// ledger that can be read but not written, then one that cannot be kept at all, then the first
// kind again, which is not said twice.
TEST(KeyLedger, TheWindowSaysEachKindOfLedgerProblemOnceARun) {
    TempFolder dir("ledger_notes");
    Programs p{dir / "Nimbrel.exe", "", dir / "KeyLedger.txt"};
    ASSERT_TRUE(CopyFileA(builtProgram().c_str(), p.program.c_str(), FALSE));
    Program run = startProgram(p.program, "");
    HWND main = waitForReadyMainDialog(run);
    ASSERT_TRUE(main) << describe(run);
    enum Prep { ReadOnly, NoPlace };
    struct Row {
        const char* what;
        Prep prep;
        const char* note; // said before the job, or empty for none
    } rows[] = {
        {"held open by another program", ReadOnly, "can be read but not written"},
        {"no place for one", NoPlace, "No key-use ledger can be kept here"},
        {"held open again", ReadOnly, ""},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ++n;
        const std::string input = dir / ("in" + std::to_string(n) + ".bin");
        const std::string key = dir / ("k" + std::to_string(n) + ".key");
        ASSERT_TRUE(writeWholeFile(input, patternBytes(3000, uint8_t(n))));
        ASSERT_TRUE(writeWholeFile(key, patternBytes(5000, uint8_t(n * 11))));
        SetFileAttributesA(p.ledger.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(p.ledger.c_str());
        RemoveDirectoryA((dir / "KeyLedger.lck").c_str());
        Handle held;
        if (row.prep == ReadOnly) {
            // Shared for reading only: the ledger can be read, but not replaced. (A read-only
            // attribute would not do: Wine run as root writes over it.)
            ASSERT_TRUE(writeWholeFile(p.ledger, std::string("")));
            held = Handle(CreateFileA(p.ledger.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(held.valid());
        } else {
            // The lock cannot be made where a folder has its name: no ledger can be kept.
            DeleteFileA((dir / "KeyLedger.lck").c_str());
            ASSERT_TRUE(CreateDirectoryA((dir / "KeyLedger.lck").c_str(), nullptr));
        }
        ASSERT_TRUE(dropFileAndWait(run, main, input));
        ASSERT_TRUE(dropFileAndWait(run, main, key));
        press(main, IDB_GO);
        MessageSeen message = waitForMessage(run, 30000);
        ASSERT_TRUE(message.box);
        std::string note;
        if (!startsWith(message.text, "Finished XORing")) {
            note = message.text;
            answer(message, true);
            message = waitForMessage(run, 30000);
            ASSERT_TRUE(message.box);
        }
        EXPECT_TRUE(startsWith(message.text, "Finished XORing")) << message.text;
        answer(message, true);
        ASSERT_TRUE(waitUntil(
            [&] { return !messageBoxExists(run) && itemText(main, IDE_INPUT) == "None Selected"; }));
        if (row.note[0] == '\0') {
            EXPECT_EQ(note, "");
        } else {
            EXPECT_NE(note.find(row.note), std::string::npos) << note;
        }
    }
    press(main, IDB_CLOSE);
    EXPECT_EQ(run.waitForExit(), kExit);
    SetFileAttributesA(p.ledger.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA((dir / "KeyLedger.lck").c_str());
}

} // namespace
