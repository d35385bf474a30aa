// The key-use ledger through every front end: the window asks, the windowless run refuses, the
// console tool refuses unless told, and none of them stops a job over a ledger it cannot keep.
#include <gtest/gtest.h>

#include "support/driver.h"
#include "support/win_files.h"

namespace {

enum class Front { Window, Windowless, Tool };

constexpr char kReuseLead[] = "This key file has already encrypted other data on this computer";

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
    if (startsWith(message.text, kReuseLead)) {
        EXPECT_EQ(message.yes, "Cancel");
        EXPECT_EQ(message.no, "Use it anyway");
        EXPECT_NE(message.text.find("the key drops out"), std::string::npos) << message.text;
        seen = "asked, ";
        answer(message, !goOn);
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
        {"a damaged ledger", "c.bin", "k2.key", Damage, false, "done, note: damaged", "done", "done", 0},
        {"a ledger that cannot be written", "d.bin", "k3.key", FolderInItsPlace, false,
         "done, note: not written", "done", "done", 0},
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
                const Bytes ledger = readWholeFile(p.ledger);
                EXPECT_EQ(std::string(ledger.begin(), ledger.end()).find("not a line"), std::string::npos);
            }
        }
        removeTree(p.ledger);
    }
}

} // namespace
