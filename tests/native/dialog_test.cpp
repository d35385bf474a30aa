// The job the main dialog's state describes, built without a window: what Go hands the worker.
#include <gtest/gtest.h>

#include <string>

#include "ui/dialog.h"

namespace {

TEST(DialogRequest, GoBuildsTheJobFromTheStateAlone) {
    const std::string keyAtLimit(kKeyFieldBytes, 'k'), keyPastLimit(kKeyFieldBytes + 1, 'k');
    struct Row {
        const char* what;
        KeySource source;
        CipherMode mode;
        Direction direction;
        std::string typedKey; // code-page bytes typed into the key string field
        bool inCodePage;
        uint32_t byteCount; // the "Use N bytes" field
        bool saveKeyName;
        RequestCheck check;
        KeyKind kind;
        const char* keyPath;
        uint32_t keyBytes;
        bool savesKeyName;
    } rows[] = {
        {"a key file, all of it", SourceFile, ModeXor, Encrypt, "", true, 0, false, RequestCheck::Ready,
         KeyKind::File, "D:\\keys\\shown.bin", 5000, false},
        {"a key file, fewer bytes", SourceFile, ModeClassic, Encrypt, "", true, 100, true,
         RequestCheck::Ready, KeyKind::File, "D:\\keys\\shown.bin", 100, true},
        {"a byte count past the key", SourceFile, ModeClassic, Encrypt, "", true, 9000, true,
         RequestCheck::Ready, KeyKind::File, "D:\\keys\\shown.bin", 5000, true},
        {"a drive's key file", SourceDrive, ModeClassic, Encrypt, "", true, 0, true, RequestCheck::Ready,
         KeyKind::File, "E:\\keys\\mon.bin", 5000, false},
        {"a key string at the window's limit", SourceString, ModeClassic, Encrypt, keyAtLimit, true, 0, false,
         RequestCheck::Ready, KeyKind::Text, "", 0, false},
        {"a key string past it", SourceString, ModeClassic, Encrypt, keyPastLimit, true, 0, false,
         RequestCheck::KeyStringTooLong, KeyKind::Text, "", 0, false},
        {"a key string the code page cannot hold", SourceString, ModeClassic, Encrypt, "", false, 0, false,
         RequestCheck::KeyStringOutsideCodePage, KeyKind::Text, "", 0, false},
        {"decrypting a container", SourceFile, ModeClassic, Decrypt, "", true, 0, false, RequestCheck::Ready,
         KeyKind::File, "D:\\keys\\shown.bin", 5000, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DialogState dialog;
        resetDialogState(dialog);
        copyText("D:\\data\\report.txt", dialog.inputField);
        copyText("D:\\out", dialog.outputFolder);
        copyText("Q3 figures", dialog.description);
        dialog.useDescription = true;
        dialog.keySource = row.source;
        dialog.cipherMode = row.mode;
        dialog.direction = row.direction;
        copyText("report.txt", dialog.stored.plainName);
        dialog.stored.headerLength = 636;
        // The drive's list resolved its entry into keyPath; the key file field shows another.
        copyText("E:\\keys\\mon.bin", dialog.keyPath);
        copyText("D:\\keys\\shown.bin", dialog.keyFileField);
        dialog.keyBytes = 5000;
        dialog.keyReady = true;
        dialog.byteCount = row.byteCount;
        dialog.saveKeyName = row.saveKeyName;
        takeKeyString(dialog, row.typedKey.c_str(), row.inCodePage);

        JobRequest request;
        EXPECT_EQ(int(jobRequestFor(dialog, request)), int(row.check));
        EXPECT_EQ(request.keyKind, row.kind);
        if (row.check != RequestCheck::Ready) {
            continue;
        }
        EXPECT_STREQ(request.inputPath, "D:\\data\\report.txt");
        EXPECT_STREQ(request.outputFolder, "D:\\out");
        EXPECT_EQ(request.mode, row.mode);
        EXPECT_EQ(request.direction, row.direction);
        EXPECT_STREQ(request.stored.plainName, "report.txt");
        EXPECT_EQ(request.stored.headerLength, 636u);
        EXPECT_TRUE(request.useDescription);
        EXPECT_STREQ(request.description, "Q3 figures");
        EXPECT_STREQ(request.keyPath, row.keyPath);
        EXPECT_EQ(request.keyBytes, row.keyBytes);
        EXPECT_EQ(request.saveKeyName, row.savesKeyName);
        EXPECT_EQ(std::string(request.keyText), row.kind == KeyKind::Text ? row.typedKey : "");
    }
}

} // namespace
