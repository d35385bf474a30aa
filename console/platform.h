// What the console tool needs of the system it runs on: files for the job operation, random
// bytes, the terminal. One implementation for POSIX systems, one for Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/operation.h"
#include "keys/keyledger.h"

// The arguments in UTF-8: on Windows from the UTF-16 command line, with the console set to show
// UTF-8; elsewhere as given.
std::vector<std::string> platformArguments(int argc, char** argv);

// A typed key string as the window's key stream takes it: in the code page the window uses
// (the system's on Windows, the common Western one elsewhere). False when a character has no
// form there: the window could not give the same key.
bool keyStringInCodePage(const std::string& typed, std::string& bytes);

// The files of the job operation, with no progress and no caption yet.
FileLayer platformFiles();

// The key-use ledger in the user's data folder (on POSIX $XDG_DATA_HOME/nimbrel, by default
// ~/.local/share/nimbrel; on Windows the data folder of a Nimbrel.exe beside the tool). Without
// such a folder the ledger says there is no place for it.
void platformLedger(LedgerFiles& ledger);

// Paths as the user gives them, made fit for the layer (Windows takes "/" for "\").
std::string nativePath(const std::string& path);
// The path made absolute, for a key file path stored in a container; the path itself when that
// cannot be done.
std::string absolutePath(const std::string& path);
bool isFolder(const std::string& path);
// The size of the file at `path`; -1 when it cannot be opened.
int64_t fileSizeAt(const std::string& path);

// Fills the buffer from the system's cryptographic random source.
bool randomBytes(uint8_t* buffer, size_t count);
// Makes a new file readable by its owner only, as a key file should be.
void keepToOwner(FileRef file);
// Whether a file of this name can be made in `folder`: its length within what the folder's file
// system takes.
bool nameFits(const std::string& folder, const std::string& name);
// The job's output may be read by nobody who may not read the key file at `keyPath`: a
// decryption's plaintext is no less secret than its key.
void limitOutputMode(const std::string& keyPath);

// Whether standard output (1) or standard error (2) was closed when the tool started. A closed
// one is kept closed to writes, though the system's descriptor is taken, so that no file the tool
// opens takes its place.
bool standardStreamClosed(int stream);
void guardStandardStreams();

// Reads a line from the terminal without showing it. False when there is no terminal.
bool readSecret(const char* prompt, std::string& secret);
bool errorIsTerminal();

// Why the last file operation failed, in the system's words ("Permission denied"); empty when
// no reason is known.
std::string systemReason();

// From now on an interrupted run removes the temporary file the job is writing.
void removePartialOnInterrupt();
