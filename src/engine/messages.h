// The texts of the messages that loading and jobs raise, composed into bounded buffers.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for the longest message: a fixed text around a path of up to 1039 bytes.
constexpr size_t kMessageCapacity = 1536;

constexpr char kVersionError[] =
    "Nimbrel file version error. You need to use the same version of Nimbrel that encrypted the file.";
constexpr char kKeySizeAdvice[] =
    "For optimum security Key file should be the same size or greater than the file to be EnCrypted";
constexpr char kNoKeyMaterial[] = "File Too Big";
constexpr char kMemoryError[] = "Memory Allocation Error. Try closing a few programs and try again.";
// Before the output's path in double quotes and a full stop: which file it is.
constexpr char kOutputExistsLead[] = "Output File name already exists. The file is ";

constexpr char kKeyStringOutsideCodePage[] =
    "The key string holds characters that this computer's code page cannot store. Earlier versions "
    "turned them into question marks, a different and much weaker key. Type the key with other "
    "characters, or use a key file.";

// Captions of the two buttons.
constexpr char kOk[] = "OK";
constexpr char kQuit[] = "Quit Nimbrel";
constexpr char kOpenReadMe[] = "Open ReadMe";
// After an input's path in double quotes: an empty file, one larger than a job takes.
constexpr char kEmptyInputTail[] = " is empty: there is nothing to encrypt.";
constexpr char kHugeInputTail[] = " is 4 GiB or larger: Nimbrel encrypts files of up to 4 GiB less one byte.";
// After a dropped folder's path in double quotes, with no file loaded.
constexpr char kFolderDroppedFirstTail[] =
    " is a folder. Drop the file to encrypt or decrypt first; a folder dropped after it becomes the "
    "output folder.";
constexpr char kOverwrite[] = "Overwrite file with new one?";
// Asked before the window encrypts with an empty key string, the harmless answer first.
constexpr char kPublicKeyQuestion[] =
    "The key string is empty, so the file would be encrypted with Nimbrel's public default key: anyone "
    "with Nimbrel can read the result. Type a key string, or choose a key file, to protect it.";
// Asked likewise before a decryption with it, which gives garbage for a file made with any other.
constexpr char kPublicKeyDecryptQuestion[] =
    "The key string is empty, so the file would be decrypted with Nimbrel's public default key: a file "
    "encrypted with any other key comes out as garbage. Type the key string it was encrypted with, or "
    "choose its key file.";
constexpr char kPublicKeyDecryptGoOn[] = "Decrypt with the public key";
constexpr char kPublicKeyCancel[] = "Cancel";
// Said before a Classic encryption with fewer bytes of the key file than it holds, around the
// count ("lead N middle N tail"): a container does not record it.
constexpr char kUseCountLead[] = "Only the first ";
constexpr char kUseCountMiddle[] =
    " bytes of the key file encrypt this file, and the container does not record that number. Note it: "
    "to decrypt the file, set \"Use\" to ";
constexpr char kUseCountTail[] = " bytes again.";
constexpr char kPublicKeyGoOn[] = "Encrypt with the public key";
constexpr char kAbortXor[] = "Abort XOR";

// "File Read Error with "<path>"" (and the write error likewise), then the system's reason when
// one is known; a path too long for the buffer is cut, never overrun.
void composeReadError(const char* path, char* out, size_t capacity, const char* reason = "");
void composeWriteError(const char* path, char* out, size_t capacity, const char* reason = "");

// lead, the path in double quotes, tail: a path too long for the buffer is cut, never overrun.
void composeAroundPath(const char* lead, const char* path, const char* tail, char* out, size_t capacity);

// Seconds, a dot and two digits of hundredths: 307 gives "3.07".
void formatElapsed(uint32_t hundredths, char* out, size_t capacity);

// The message that reports a job's end, naming the input or the output (its whole path) and the
// system's reason where there is one; false when the result shows none (10 and above).
bool composeJobReport(uint32_t resultCode, uint32_t jobTime, const char* inputPath, const char* outputPath,
                      const char* reason, char* out, size_t capacity);

// A path longer than the program's buffers take (kTextCapacity bytes of UTF-8).
void composePathTooLong(const char* path, char* out, size_t capacity);

// The window keeps kKeyFieldBytes bytes of a key string; its field takes no more characters, but
// in a code page of two-byte characters fewer characters fill it.
void composeKeyStringTooLong(char* out, size_t capacity);
