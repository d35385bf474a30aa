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
constexpr char kOutputExists[] = "Output File name already exists.";

constexpr char kKeyStringOutsideCodePage[] =
    "The key string holds characters that this computer's code page cannot store. Earlier versions "
    "turned them into question marks, a different and much weaker key. Type the key with other "
    "characters, or use a key file.";

// Captions of the two buttons.
constexpr char kOk[] = "OK";
constexpr char kQuit[] = "Quit Nimbrel";
constexpr char kOpenReadMe[] = "Open ReadMe";
constexpr char kOverwrite[] = "Overwrite file with new one?";
// Asked before the window encrypts with an empty key string, the harmless answer first.
constexpr char kPublicKeyQuestion[] =
    "The key string is empty, so the file would be encrypted with Nimbrel's public default key: anyone "
    "with Nimbrel can read the result. Type a key string, or choose a key file, to protect it.";
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

// "File Read Error with "<path>"" (and the write error likewise); a path too long for the
// buffer is cut, never overrun.
void composeReadError(const char* path, char* out, size_t capacity);
void composeWriteError(const char* name, char* out, size_t capacity);

// lead, the path in double quotes, tail: a path too long for the buffer is cut, never overrun.
void composeAroundPath(const char* lead, const char* path, const char* tail, char* out, size_t capacity);

// Seconds, a dot and two digits of hundredths: 307 gives "3.07".
void formatElapsed(uint32_t hundredths, char* out, size_t capacity);

// The message that reports a job's end; false when the result shows none (10 and above).
bool composeJobReport(uint32_t resultCode, uint32_t jobTime, const char* inputPath, const char* outputName,
                      char* out, size_t capacity);

// The window keeps kKeyFieldBytes bytes of a key string; its field takes no more characters, but
// in a code page of two-byte characters fewer characters fill it.
void composeKeyStringTooLong(char* out, size_t capacity);
