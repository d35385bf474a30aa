// Names in the user's own locale, through the real program. Each run of this test has the
// locale of its environment (CTest runs it once per locale), and takes the rows of the code page
// the program then has: names whose double-byte characters hold the byte of "\" there, names
// the code page cannot hold at all, and key strings in and outside it.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/driver.h"
#include "support/expected.h"
#include "support/win_files.h"

namespace {

struct NameCase {
    UINT codePage;
    const char* name;      // the input, restored under this name from a container
    const char* keyName;   // a key file, named by the container
    const char* keyString; // typed on the command line
    bool keyInCodePage;    // the key string has a form in the code page
};

const NameCase kCases[] = {
    {932, "表計算ソフト.txt", "鍵ソ.bin", "表ソ", true},
    {936, "淺灣報告.txt", "淺鑰.bin", "淺灣", true},
    {1251, "Отчёт за май.txt", "ключ.bin", "ключ", true},
    {1252, "Müller Bericht.txt", "Schlüssel.bin", "grüße", true},
    {1252, "日本語ソフト.txt", "鍵.bin", "日本", false},
    {1252, "notes 😀 Łukasz.txt", "key 😀.bin", "Łódź", false},
};

// The bytes of `text` in the code page, as earlier versions stored and keyed them; empty when
// it has no form there.
std::string inCodePage(const std::string& text) {
    std::wstring w = wide(text);
    BOOL defaulted = FALSE;
    char bytes[1024] = "";
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.c_str(), -1, bytes, sizeof bytes, nullptr,
                                &defaulted);
    return n > 0 && !defaulted ? std::string(bytes) : std::string();
}

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::string stem(const std::string& name) {
    return name.substr(0, name.rfind('.'));
}

class NamesTest : public ::testing::Test {
  protected:
    Bytes plain = patternBytes(3000, 41);
    Bytes key = patternBytes(4096, 42);

    void runRow(const NameCase& c) {
        TempFolder dir("names");
        const std::string input = dir / c.name;
        const std::string keyPath = dir / c.keyName;
        ASSERT_TRUE(writeWholeFile(input, plain));
        ASSERT_TRUE(writeWholeFile(keyPath, key));

        // Windowless, handed over as the shell does: the output beside the input, nothing else.
        Program batch = startNimbrel("\"/i=" + input + "\" \"/s=" + c.keyString + "\"");
        DWORD code = batch.waitForExit();
        const std::string xorName = std::string("XOR ") + c.name;
        if (c.keyInCodePage) {
            EXPECT_EQ(code, kExit);
            EXPECT_EQ(readWholeFile(dir / xorName), xorWithString(plain, inCodePage(c.keyString)));
            EXPECT_EQ(sorted(folderEntries(dir.path)), sorted({c.keyName, c.name, xorName}));
            DeleteFileW(wide(dir / xorName).c_str());
        }
        // The console tool takes the same names and key from its UTF-16 command line, with the
        // same outcome.
        Program tool = startProgram(testProgramFolder() + "nimbrel-cli.exe",
                                    "xor \"" + input + "\" --key-string \"" + c.keyString + "\" --quiet");
        EXPECT_EQ(tool.waitForExit(), c.keyInCodePage ? 0u : 2u);
        if (c.keyInCodePage) {
            EXPECT_EQ(readWholeFile(dir / xorName), xorWithString(plain, inCodePage(c.keyString)));
            DeleteFileW(wide(dir / xorName).c_str());
        } else {
            // Never a weaker key of question marks: refused as a key that cannot be used.
            EXPECT_EQ(code, kExit + 2);
            EXPECT_EQ(sorted(folderEntries(dir.path)), sorted({c.keyName, c.name}));
        }

        // The window: a Classic container of the file opened by the shell, with the key file
        // dropped on it and its name saved in the container.
        Program program = startNimbrel("\"" + input + "\"");
        HWND main = waitForReadyMainDialog(program);
        ASSERT_TRUE(main) << describe(program);
        EXPECT_EQ(itemText(main, IDE_INPUT), input);
        ASSERT_TRUE(click(main, IDO_CLASSIC));
        ASSERT_TRUE(dropFileAndWait(program, main, keyPath));
        EXPECT_EQ(itemText(main, IDE_KEY_FILE), keyPath);
        EXPECT_TRUE(isChecked(main, IDX_SAVE_KEY_NAME)); // a dropped key in Classic is kept by name
        goThenClose(program, main);

        // Opened again, the container gives back the name and finds its key file by the path it keeps.
        const std::string container = dir / (stem(c.name) + ".qdx");
        ASSERT_TRUE(fileExists(container));
        ASSERT_TRUE(DeleteFileW(wide(input).c_str()));
        decryptInWindow(container, keyPath);
        EXPECT_EQ(readWholeFile(input), plain);

        // A container as earlier versions wrote it, name and key path in the code page, restores
        // the same name with the same key.
        const std::string legacyName = inCodePage(c.name);
        const std::string legacyKey = inCodePage(keyPath);
        if (!legacyName.empty() && !legacyKey.empty()) {
            ASSERT_TRUE(DeleteFileW(wide(input).c_str()));
            const std::string old = dir / "old.qdx";
            ASSERT_TRUE(writeWholeFile(old, makeContainer(legacyName, "", legacyKey, plain, key)));
            decryptInWindow(old, keyPath);
            EXPECT_EQ(readWholeFile(input), plain);
        }
        checkProgramFolder(dir / stem(c.name));
    }

    // A copy of the program in a folder of that name keeps its data beside itself (portable
    // mode) and says so in About.
    void checkProgramFolder(const std::string& folder) {
        ASSERT_TRUE(CreateDirectoryW(wide(folder).c_str(), nullptr));
        const std::string exe = folder + "\\Nimbrel.exe";
        ASSERT_TRUE(CopyFileW(wide(builtProgram()).c_str(), wide(exe).c_str(), FALSE));
        Program program = startProgram(exe, "");
        HWND main = waitForReadyMainDialog(program);
        ASSERT_TRUE(main) << describe(program);
        press(main, IDB_ABOUT);
        HWND about = waitForDialog(program, isAboutDialog);
        ASSERT_TRUE(about);
        EXPECT_NE(itemText(about, IDE_ABOUT_INFO).find("Where program stores user data:\r\n" + folder + "\\"),
                  std::string::npos)
            << itemText(about, IDE_ABOUT_INFO);
        press(about, IDB_ABOUT_CLOSE);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(about); }));
        press(main, IDB_CLOSE);
        EXPECT_EQ(program.waitForExit(), kExit);
    }

    void decryptInWindow(const std::string& container, const std::string& keyPath) {
        Program program = startNimbrel("\"" + container + "\"");
        HWND main = waitForReadyMainDialog(program);
        ASSERT_TRUE(main) << describe(program);
        EXPECT_EQ(itemText(main, IDE_KEY_FILE), keyPath);
        ASSERT_TRUE(waitUntil([&] { return isEnabled(main, IDB_GO); }));
        goThenClose(program, main);
    }

    void goThenClose(Program& program, HWND main) {
        press(main, IDB_GO);
        MessageSeen done = waitForMessage(program, 30000);
        ASSERT_TRUE(done.box);
        EXPECT_EQ(done.text.rfind("Finished XORing in ", 0), 0u) << done.text;
        answer(done, true);
        press(main, IDB_CLOSE);
        EXPECT_EQ(program.waitForExit(), kExit);
    }
};

TEST_F(NamesTest, EveryNameOfThisLocaleGoesThroughWhole) {
    UINT codePage = GetACP();
    int rows = 0;
    for (const NameCase& c : kCases) {
        if (c.codePage != codePage) {
            continue;
        }
        SCOPED_TRACE(std::string(c.name) + " in code page " + std::to_string(codePage));
        ++rows;
        runRow(c);
    }
    if (rows == 0) {
        GTEST_SKIP() << "no names for code page " << codePage;
    }
}

} // namespace
