// Which controls the window offers, and the Go button's caption, in every state a user can
// reach without a removable key drive: input loaded or not, plain or container input, XOR or
// Classic, key from a file or a string, key ready or not.
//
// The expected patterns are written out by hand, one per step. Columns, as the window groups
// them (see kJobControls):
//   XOR Classic Use Description | Drive File String | drive list, key file list, Refresh |
//   key file field, its Choose..., byte count, Save File Name, Analyse, Create, KeyStore |
//   key string | Same Desktop "Add Name" output field Browse... | Go
#include <gtest/gtest.h>

#include "engine/container.h"
#include "support/driver.h"
#include "support/expected.h"
#include "support/win_files.h"

namespace {

class ControlStateTest : public ::testing::Test {
  protected:
    TempFolder dir{"states"};
    std::string plainPath = dir / "a.txt";
    std::string keyPath = dir / "k.bin";
    std::string emptyPath = dir / "empty.txt";
    std::string containerPath = dir / "c.qdx";

    void SetUp() override {
        ASSERT_TRUE(writeWholeFile(plainPath, patternBytes(3000, 1)));
        ASSERT_TRUE(writeWholeFile(keyPath, patternBytes(4096, 2)));
        ASSERT_TRUE(writeWholeFile(emptyPath, Bytes{}));
        // A container with a description and no key file path.
        ContainerHeader header{};
        copyText("c.txt", header.plainName, sizeof header.plainName);
        header.hasDescription = 1;
        copyText("Notes", header.description, sizeof header.description);
        uint8_t bytes[kMaxHeaderLength];
        uint32_t length = encodeHeader(header, bytes);
        Bytes container(bytes, bytes + length);
        Bytes payload = patternBytes(500, 3);
        container.insert(container.end(), payload.begin(), payload.end());
        ASSERT_TRUE(writeWholeFile(containerPath, container));
    }

    static void expectState(HWND main, const std::string& pattern, const std::string& caption,
                            const std::string& marked) {
        EXPECT_EQ(enabledPattern(main), pattern);
        EXPECT_EQ(itemText(main, IDB_GO), caption);
        EXPECT_EQ(marks(main), marked);
        EXPECT_EQ(enabledPattern(main, kFreeControls), "11111");
        // The labels of the byte count are greyed with it.
        EXPECT_EQ(enabledPattern(main, {IDT_USE_BYTES, IDT_BYTES}),
                  std::string(2, isEnabled(main, IDE_BYTE_COUNT) ? '1' : '0'));
    }
};

TEST_F(ControlStateTest, PlainAndContainerInputsAcrossModesAndKeySources) {
    Program program = startNimbrel("");
    HWND main = waitForReadyMainDialog(program);
    ASSERT_TRUE(main) << describe(program);
    {
        SCOPED_TRACE("plain file, XOR, key file source, no key yet");
        ASSERT_TRUE(dropFileAndWait(program, main, plainPath));
        expectState(main, "1100 110 000 1110011 0 11111 0", "Go!", "XOR File");
        // In XOR mode there is no key string to choose.
        EXPECT_FALSE(isEnabled(main, IDO_STRING));
    }
    {
        SCOPED_TRACE("key file dropped");
        ASSERT_TRUE(dropFileAndWait(program, main, keyPath));
        expectState(main, "1100 110 000 1110111 0 11111 1", "Go!", "XOR File");
    }
    {
        SCOPED_TRACE("Drive without any removable key drive");
        press(main, IDO_DRIVE);
        MessageSeen seen = waitForMessage(program);
        ASSERT_TRUE(seen.box);
        EXPECT_EQ(seen.text, "No valid index in any removable drive. Refer to ReadMe for further details.");
        EXPECT_EQ(seen.yes, "OK");
        EXPECT_EQ(seen.no, "Open ReadMe");
        EXPECT_TRUE(seen.compact()) << seen.characterWidth;
        answer(seen, true);
        ASSERT_TRUE(settle(main));
        expectState(main, "1100 110 000 1110111 0 11111 1", "Go!", "XOR File");
    }
    {
        SCOPED_TRACE("Classic");
        ASSERT_TRUE(click(main, IDO_CLASSIC));
        expectState(main, "1110 111 000 1111111 0 11111 1", "Go Nimbrel!", "Classic File");
    }
    {
        SCOPED_TRACE("Use ticked: the description opens");
        ASSERT_TRUE(click(main, IDX_USE_DESCRIPTION));
        expectState(main, "1111 111 000 1111111 0 11111 1", "Go Nimbrel!", "Classic File");
    }
    {
        SCOPED_TRACE("key string source: Go is ready whatever the string holds");
        ASSERT_TRUE(click(main, IDO_STRING));
        EXPECT_EQ(itemText(main, IDE_KEY_STRING), "");
        expectState(main, "1111 111 000 0000000 1 11111 1", "Go Nimbrel!", "Classic String");
    }
    {
        SCOPED_TRACE("XOR moves the key source back to File; Use keeps its tick, closed");
        ASSERT_TRUE(click(main, IDO_XOR));
        expectState(main, "1100 110 000 1110111 0 11111 1", "Go!", "XOR File");
        EXPECT_TRUE(isChecked(main, IDX_USE_DESCRIPTION));
    }
    {
        SCOPED_TRACE("an empty file dropped: said, and the loaded file kept with its key");
        ASSERT_TRUE(dropFile(program, main, emptyPath));
        MessageSeen seen = waitForMessage(program);
        ASSERT_TRUE(seen.box);
        EXPECT_EQ(seen.text, "\"" + emptyPath + "\" is empty: there is nothing to encrypt.");
        answer(seen, true);
        ASSERT_TRUE(settle(main));
        expectState(main, "1100 110 000 1110111 0 11111 1", "Go!", "XOR File");
        EXPECT_EQ(itemText(main, IDE_INPUT), plainPath);
    }
    {
        SCOPED_TRACE("container without a key file path");
        ASSERT_TRUE(dropFileAndWait(program, main, containerPath));
        // No Create, no KeyStore: a new key could never decrypt it.
        expectState(main, "0000 011 000 1110000 0 11111 0", "Go DeNimbrel!", "Classic File");
        EXPECT_EQ(itemText(main, IDE_KEY_FILE), "");
        EXPECT_EQ(itemText(main, IDE_DESCRIPTION), "Notes");
    }
    {
        SCOPED_TRACE("container, key file dropped");
        ASSERT_TRUE(dropFileAndWait(program, main, keyPath));
        expectState(main, "0000 011 000 1110100 0 11111 1", "Go DeNimbrel!", "Classic File");
    }
    {
        SCOPED_TRACE("container, key string source");
        ASSERT_TRUE(click(main, IDO_STRING));
        expectState(main, "0000 011 000 0000000 1 11111 1", "Go DeNimbrel!", "Classic String");
    }
    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
}

TEST_F(ControlStateTest, TheDescriptionFieldKeepsItsStateForAContainerAndAfterTheJob) {
    Program program = startNimbrel("\"" + plainPath + "\"");
    HWND main = waitForReadyMainDialog(program);
    ASSERT_TRUE(main) << describe(program);
    ASSERT_TRUE(click(main, IDO_CLASSIC));
    ASSERT_TRUE(click(main, IDX_USE_DESCRIPTION));
    expectState(main, "1111 111 000 1111011 0 11111 0", "Go Nimbrel!", "Classic File");
    {
        SCOPED_TRACE("container loaded while the description field is open");
        press(main, IDB_CHOOSE_INPUT);
        ASSERT_TRUE(pickFile(program, containerPath));
        ASSERT_TRUE(settle(main));
        expectState(main, "0001 011 000 1110000 0 11111 0", "Go DeNimbrel!", "Classic File");
    }
    {
        SCOPED_TRACE("key string source");
        ASSERT_TRUE(click(main, IDO_STRING));
        expectState(main, "0001 011 000 0000000 1 11111 1", "Go DeNimbrel!", "Classic String");
    }
    {
        SCOPED_TRACE("after the job: nothing but the description field");
        ASSERT_TRUE(typeText(main, IDE_KEY_STRING, "k"));
        press(main, IDB_GO);
        MessageSeen finished = waitForMessage(program);
        ASSERT_TRUE(finished.box);
        answer(finished, true);
        ASSERT_TRUE(settle(main));
        expectState(main, "0001 000 000 0000000 0 00000 0", "Go DeNimbrel!", "Classic String");
        EXPECT_EQ(itemText(main, IDE_INPUT), "None Selected");
    }
    {
        SCOPED_TRACE("plain file after the job: description cleared and closed");
        ASSERT_TRUE(dropFileAndWait(program, main, plainPath));
        expectState(main, "1110 111 000 0000000 1 11111 1", "Go Nimbrel!", "Classic String");
        EXPECT_FALSE(isChecked(main, IDX_USE_DESCRIPTION));
        EXPECT_EQ(itemText(main, IDE_DESCRIPTION), "");
    }
    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
}

} // namespace
