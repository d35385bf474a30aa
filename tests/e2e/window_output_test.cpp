// The output folder: "Same", "Desktop", "Add Name", "Browse..." and the folder a job then
// writes into.
#include <gtest/gtest.h>

#include "support/driver.h"
#include "support/expected.h"
#include "support/win_files.h"

namespace {

class OutputFolderTest : public ::testing::Test {
  protected:
    TempFolder dir{"output"};
    Bytes plain = patternBytes(1500, 31);
    Bytes key = patternBytes(1500, 32);
    std::string input = dir / "report.tar.gz";
    std::string keyPath = dir / "key.bin";
    std::string out = dir / "out";

    void SetUp() override {
        ASSERT_TRUE(writeWholeFile(input, plain));
        ASSERT_TRUE(writeWholeFile(keyPath, key));
        ASSERT_TRUE(CreateDirectoryA(out.c_str(), nullptr));
    }
};

TEST_F(OutputFolderTest, TheButtonsAndThePickerSetTheFolderAndTheJobWritesThere) {
    Program program = startNimbrel("\"" + input + "\"");
    HWND main = waitForReadyMainDialog(program);
    ASSERT_TRUE(main) << describe(program);
    EXPECT_EQ(itemText(main, IDE_OUTPUT), dir.path + "\\");

    // A cancelled picker changes nothing; a chosen folder comes without a trailing backslash.
    press(main, IDB_BROWSE);
    HWND picker = waitForDialog(program, isFolderPicker);
    ASSERT_TRUE(picker);
    EXPECT_EQ(itemText(picker, 0x3742), "Output Directory:");
    ASSERT_TRUE(cancelPicker(program, isFolderPicker));
    ASSERT_TRUE(settle(main));
    EXPECT_EQ(itemText(main, IDE_OUTPUT), dir.path + "\\");
    press(main, IDB_BROWSE);
    ASSERT_TRUE(pickFolder(program, out));
    ASSERT_TRUE(settle(main));
    EXPECT_EQ(itemText(main, IDE_OUTPUT), out);

    // "Add Name" adds the input's name without its last extension, after one backslash.
    ASSERT_TRUE(click(main, IDB_ADD_NAME));
    EXPECT_EQ(itemText(main, IDE_OUTPUT), out + "\\report.tar");

    // "Same" takes the loaded file's folder, not whatever the input field says now.
    ASSERT_TRUE(typeText(main, IDE_INPUT, "C:\\elsewhere\\other.txt"));
    ASSERT_TRUE(click(main, IDB_SAME));
    EXPECT_EQ(itemText(main, IDE_OUTPUT), dir.path + "\\");
    ASSERT_TRUE(typeText(main, IDE_INPUT, input));
    ASSERT_TRUE(click(main, IDB_ADD_NAME));
    EXPECT_EQ(itemText(main, IDE_OUTPUT), dir.path + "\\report.tar");

    ASSERT_TRUE(click(main, IDB_DESKTOP));
    EXPECT_EQ(itemText(main, IDE_OUTPUT), desktopPath());

    // A folder named by "Add Name" that does not exist yet is made by the job.
    press(main, IDB_BROWSE);
    ASSERT_TRUE(pickFolder(program, out));
    ASSERT_TRUE(settle(main));
    ASSERT_TRUE(click(main, IDB_ADD_NAME));
    ASSERT_TRUE(dropFileAndWait(program, main, keyPath));
    press(main, IDB_GO);
    MessageSeen finished = waitForMessage(program);
    ASSERT_TRUE(finished.box);
    EXPECT_EQ(finished.text.rfind("Finished XORing in ", 0), 0u) << finished.text;
    answer(finished, true);
    EXPECT_EQ(readWholeFile(out + "\\report.tar\\XOR report.tar.gz"), xorWithKeyFile(plain, key));

    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
}

} // namespace
