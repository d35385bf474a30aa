// Files and folders dropped on the window: input and key file take turns, a folder (dots in its
// name or not) goes to the output field once there is an input and is said before, and a path
// too long for the program is refused with its length as the reason.
#include <gtest/gtest.h>

#include "support/driver.h"
#include "support/win_files.h"

namespace {

class DropTest : public ::testing::Test {
  protected:
    TempFolder dir{"drop"};
    std::string first = dir / "a.txt";
    std::string second = dir / "b.txt";
    std::string key1 = dir / "k1.bin";
    std::string key2 = dir / "k2.bin";
    std::string folder = dir / "Reports";
    std::string dottedFolder = dir / "Key.Files";

    void SetUp() override {
        ASSERT_TRUE(writeWholeFile(first, patternBytes(1000, 1)));
        ASSERT_TRUE(writeWholeFile(second, patternBytes(1200, 2)));
        ASSERT_TRUE(writeWholeFile(key1, patternBytes(2000, 3)));
        ASSERT_TRUE(writeWholeFile(key2, patternBytes(3000, 4)));
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(dottedFolder.c_str(), nullptr));
        // The rule looks for a dot anywhere in the path.
        ASSERT_EQ(folder.find('.'), std::string::npos) << "the temporary folder's path has a dot";
    }
};

TEST_F(DropTest, InputAndKeyFileTakeTurnsAndAFolderSetsTheOutput) {
    Program program = startNimbrel("");
    HWND main = waitForReadyMainDialog(program);
    ASSERT_TRUE(main) << describe(program);
    const std::string desktop = itemText(main, IDE_OUTPUT);
    {
        SCOPED_TRACE("a folder before any input file is said, and changes nothing");
        ASSERT_TRUE(dropFile(program, main, folder));
        MessageSeen seen = waitForMessage(program);
        ASSERT_TRUE(seen.box);
        EXPECT_EQ(seen.text,
                  "\"" + folder +
                      "\" is a folder. Drop the file to encrypt or decrypt first; a folder dropped "
                      "after it becomes the output folder.");
        answer(seen, true);
        ASSERT_TRUE(settle(main));
        EXPECT_EQ(itemText(main, IDE_OUTPUT), desktop);
        EXPECT_EQ(itemText(main, IDE_INPUT), "None Selected");
        EXPECT_EQ(itemText(main, IDB_GO), "Decide!");
    }
    {
        SCOPED_TRACE("first file: the input");
        ASSERT_TRUE(dropFileAndWait(program, main, first));
        EXPECT_EQ(itemText(main, IDE_INPUT), first);
        EXPECT_EQ(itemText(main, IDE_KEY_FILE), "");
        EXPECT_FALSE(isEnabled(main, IDB_GO));
    }
    {
        SCOPED_TRACE("second file: the key file");
        ASSERT_TRUE(dropFileAndWait(program, main, key1));
        EXPECT_EQ(itemText(main, IDE_INPUT), first);
        EXPECT_EQ(itemText(main, IDE_KEY_FILE), key1);
        EXPECT_EQ(itemText(main, IDE_BYTE_COUNT), "2000");
        EXPECT_TRUE(isEnabled(main, IDB_GO));
    }
    {
        SCOPED_TRACE("third file: the input again, the key file kept");
        ASSERT_TRUE(dropFileAndWait(program, main, second));
        EXPECT_EQ(itemText(main, IDE_INPUT), second);
        EXPECT_EQ(itemText(main, IDE_KEY_FILE), key1);
        EXPECT_TRUE(isEnabled(main, IDB_GO));
    }
    {
        SCOPED_TRACE("a folder with an input loaded: the output folder");
        ASSERT_TRUE(dropFileAndWait(program, main, folder));
        EXPECT_EQ(itemText(main, IDE_OUTPUT), folder);
        EXPECT_EQ(itemText(main, IDE_INPUT), second);
    }
    {
        // Cut to what fits, it would read as a folder without a dot.
        SCOPED_TRACE("a path too long for the program is refused, not cut");
        std::string tooLong = folder + "\\" + std::string(1100, 'x') + "\\k.txt";
        ASSERT_TRUE(dropFile(program, main, tooLong));
        MessageSeen seen = waitForMessage(program);
        ASSERT_TRUE(seen.box);
        EXPECT_EQ(seen.text, "File Read Error with \"" + tooLong +
                                 "\": the path is longer than the 1039 bytes Nimbrel takes.");
        answer(seen, true);
        ASSERT_TRUE(settle(main));
        EXPECT_EQ(itemText(main, IDE_OUTPUT), folder);
        EXPECT_EQ(itemText(main, IDE_INPUT), second);
    }
    {
        SCOPED_TRACE("a key file dropped while the key source is String switches it to File");
        ASSERT_TRUE(click(main, IDO_CLASSIC));
        ASSERT_TRUE(click(main, IDO_STRING));
        ASSERT_TRUE(dropFileAndWait(program, main, key2));
        EXPECT_EQ(marks(main), "Classic File");
        EXPECT_EQ(itemText(main, IDE_KEY_FILE), key2);
        EXPECT_TRUE(isEnabled(main, IDE_KEY_FILE));
        EXPECT_FALSE(isEnabled(main, IDE_KEY_STRING));
        EXPECT_EQ(itemText(main, IDE_OUTPUT), folder);
    }
    {
        SCOPED_TRACE("a folder with a dot in its name is a folder too");
        ASSERT_TRUE(dropFileAndWait(program, main, dottedFolder));
        EXPECT_FALSE(messageBoxExists(program));
        EXPECT_EQ(itemText(main, IDE_OUTPUT), dottedFolder);
        EXPECT_EQ(itemText(main, IDE_INPUT), second);
        EXPECT_TRUE(isEnabled(main, IDB_GO));
    }
    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
}

} // namespace
