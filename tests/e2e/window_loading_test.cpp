// Loading an input file into the window, through "Choose..." and through the command line:
// the file decides the direction, and the window follows it.
#include <gtest/gtest.h>

#include "support/driver.h"
#include "support/expected.h"
#include "support/win_files.h"

namespace {

std::string documentsFolder() {
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, path, CSIDL_PERSONAL, FALSE);
    return path;
}

class LoadingTest : public ::testing::Test {
  protected:
    TempFolder dir{"loading"};
    Bytes plain = patternBytes(3000, 7);
    Bytes key = patternBytes(4096, 9);
    std::string plainPath = dir / "a.txt";
    std::string keyPath = dir / "key.bin";
    std::string containerPath = dir / "report.qdx";

    void SetUp() override {
        ASSERT_TRUE(writeWholeFile(plainPath, plain));
        ASSERT_TRUE(writeWholeFile(keyPath, key));
        ASSERT_TRUE(
            writeWholeFile(containerPath, makeContainer("report.doc", "Q3 figures", keyPath, plain, key)));
    }

    // A plain file is loaded for encryption: the window shows it and its folder, and waits
    // for a key.
    void expectPlainLoaded(HWND main) {
        EXPECT_EQ(itemText(main, IDE_INPUT), plainPath);
        EXPECT_EQ(itemText(main, IDE_OUTPUT), dir.path + "\\");
        EXPECT_EQ(itemText(main, IDB_GO), "Go!");
        EXPECT_EQ(marks(main), "XOR File");
        EXPECT_EQ(enabledPattern(main), "1100 110 000 1110011 0 11111 0");
        EXPECT_EQ(enabledPattern(main, kFreeControls), "11111");
    }

    // A container is loaded for decryption, with what its header stores.
    void expectContainerLoaded(HWND main) {
        EXPECT_EQ(itemText(main, IDE_INPUT), containerPath);
        EXPECT_EQ(itemText(main, IDE_OUTPUT), dir.path + "\\");
        EXPECT_EQ(itemText(main, IDB_GO), "Go DeNimbrel!");
        EXPECT_EQ(marks(main), "Classic File");
        EXPECT_EQ(itemText(main, IDE_DESCRIPTION), "Q3 figures");
        EXPECT_TRUE(isChecked(main, IDX_USE_DESCRIPTION));
        // The key file the container names is taken, measured and ready.
        EXPECT_EQ(itemText(main, IDE_KEY_FILE), keyPath);
        EXPECT_EQ(itemText(main, IDE_BYTE_COUNT), "4096");
        // Mode buttons, "Use", "Drive", the byte count and "Save File Name" are closed, and so are
        // Create and KeyStore (a new key could never decrypt it); the description field was
        // closed before and stays so.
        EXPECT_EQ(enabledPattern(main), "0000 011 000 1110100 0 11111 1");
    }
};

TEST_F(LoadingTest, APlainFileThroughChoose) {
    Program program = startNimbrel("");
    HWND main = waitForReadyMainDialog(program);
    ASSERT_TRUE(main) << describe(program);

    // With "None Selected" in the field the picker starts in the documents folder, and a
    // cancelled picker changes nothing.
    press(main, IDB_CHOOSE_INPUT);
    HWND picker = waitForDialog(program, isOpenPicker);
    ASSERT_TRUE(picker);
    EXPECT_EQ(windowText(picker), "Nimbrel 1.9");
    EXPECT_EQ(pickerFolder(program, picker), documentsFolder());
    ASSERT_TRUE(cancelPicker(program, isOpenPicker));
    settle(main);
    EXPECT_EQ(itemText(main, IDE_INPUT), "None Selected");
    EXPECT_EQ(itemText(main, IDB_GO), "Decide!");
    EXPECT_EQ(enabledPattern(main), "0000 000 000 0000000 0 00000 0");

    press(main, IDB_CHOOSE_INPUT);
    ASSERT_TRUE(pickFile(program, plainPath));
    settle(main);
    expectPlainLoaded(main);

    // The caption follows the mode for a plain file.
    ASSERT_TRUE(click(main, IDO_CLASSIC));
    EXPECT_EQ(itemText(main, IDB_GO), "Go Nimbrel!");
    ASSERT_TRUE(click(main, IDO_XOR));
    EXPECT_EQ(itemText(main, IDB_GO), "Go!");

    // With a file in the field the picker starts in that file's folder.
    press(main, IDB_CHOOSE_INPUT);
    picker = waitForDialog(program, isOpenPicker);
    ASSERT_TRUE(picker);
    EXPECT_EQ(pickerFolder(program, picker), dir.path);
    ASSERT_TRUE(cancelPicker(program, isOpenPicker));
    settle(main);
    EXPECT_EQ(itemText(main, IDE_INPUT), plainPath);

    // An empty file is said, and the file loaded before stays loaded.
    const std::string empty = dir / "empty.txt";
    ASSERT_TRUE(writeWholeFile(empty, Bytes{}));
    press(main, IDB_CHOOSE_INPUT);
    ASSERT_TRUE(pickFile(program, empty));
    MessageSeen seen = waitForMessage(program);
    ASSERT_TRUE(seen.box);
    EXPECT_EQ(seen.text, "\"" + empty + "\" is empty: there is nothing to encrypt.");
    answer(seen, true);
    settle(main);
    expectPlainLoaded(main);

    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
}

TEST_F(LoadingTest, AContainerThroughChooseIsSetForDecryptionWithItsStoredKey) {
    // Start from a plain file in XOR mode: the container has to switch all of it.
    Program program = startNimbrel("\"" + plainPath + "\"");
    HWND main = waitForReadyMainDialog(program);
    ASSERT_TRUE(main) << describe(program);
    ASSERT_EQ(itemText(main, IDB_GO), "Go!");

    press(main, IDB_CHOOSE_INPUT);
    ASSERT_TRUE(pickFile(program, containerPath));
    settle(main);
    expectContainerLoaded(main);

    // The stored name, payload and times come back.
    press(main, IDB_GO);
    MessageSeen finished = waitForMessage(program);
    ASSERT_TRUE(finished.box);
    EXPECT_EQ(windowText(main), "DeCrypting report.doc");
    EXPECT_EQ(finished.text.rfind("Finished XORing in ", 0), 0u) << finished.text;
    answer(finished, true);
    // The times first. (The creation time is not compared: the Linux file systems under Wine
    // keep none that can be set.)
    std::string restored = dir / "report.doc";
    DiskTimes times;
    ASSERT_TRUE(fileTimesOf(restored, times));
    EXPECT_EQ(times.written, kWritten);
    EXPECT_EQ(times.accessed, kAccessed);
    EXPECT_EQ(readWholeFile(restored), plain);

    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
}

TEST_F(LoadingTest, AFileNamedOnTheCommandLineIsLoadedAtOpening) {
    {
        SCOPED_TRACE("plain file");
        Program program = startNimbrel("\"" + plainPath + "\"");
        HWND main = waitForReadyMainDialog(program);
        ASSERT_TRUE(main) << describe(program);
        expectPlainLoaded(main);
        press(main, IDB_CLOSE);
        EXPECT_EQ(program.waitForExit(), kExit);
    }
    {
        SCOPED_TRACE("container");
        Program program = startNimbrel("\"" + containerPath + "\"");
        HWND main = waitForReadyMainDialog(program);
        ASSERT_TRUE(main) << describe(program);
        expectContainerLoaded(main);
        press(main, IDB_CLOSE);
        EXPECT_EQ(program.waitForExit(), kExit);
    }
}

// A container's key file off this computer's drives (a share, a device) is shown when the
// container is loaded but opened only when the job starts: opening a file reaches out to no host
// it names.
TEST_F(LoadingTest, AStoredKeyOffTheLocalDrivesIsOpenedOnlyByGo) {
    std::string elsewhere = "\\\\?\\" + keyPath;
    ASSERT_TRUE(writeWholeFile(containerPath, makeContainer("report.doc", "", elsewhere, plain, key)));
    Program program = startNimbrel("\"" + containerPath + "\"");
    HWND main = waitForReadyMainDialog(program);
    ASSERT_TRUE(main) << describe(program);
    EXPECT_EQ(itemText(main, IDE_KEY_FILE), elsewhere);
    EXPECT_EQ(itemText(main, IDE_BYTE_COUNT), "0"); // not measured, so not opened
    EXPECT_TRUE(isEnabled(main, IDB_GO));

    press(main, IDB_GO);
    MessageSeen finished = waitForMessage(program);
    ASSERT_TRUE(finished.box);
    EXPECT_EQ(finished.text.rfind("Finished XORing in ", 0), 0u) << finished.text;
    answer(finished, true);
    EXPECT_EQ(readWholeFile(dir / "report.doc"), plain);
    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
}

} // namespace
