// Small Win32 file helpers shared by the job worker, input loading and the key tools.
#pragma once

#include <windows.h>

#include <cstdint>

// Opens an existing file for reading without sharing, as every input and key file is.
HANDLE openForReading(const char* path);
// The full path of `path`: relative to the current folder, "/" turned into "\\". An empty path
// stays empty; false when the full path does not fit `capacity` bytes.
bool makeFullPath(const char* path, char* out, size_t capacity);
// True when the file exists and opens for reading with the given sharing.
bool opensForReading(const char* path, DWORD share = 0);
// Whether the file is removed when its last handle closes (the handle needs DELETE access).
bool setDeleteOnClose(HANDLE file, bool remove);
// Reads until `count` bytes have arrived or the file ends; -1 when a read fails.
int64_t readFully(HANDLE file, void* buffer, uint32_t count);
bool writeFully(HANDLE file, const void* buffer, uint32_t count);
// The file's whole size; -1 when it cannot be taken.
int64_t fileSize(HANDLE file);
// A size as a 32-bit count: 0 for none (-1), 4 GiB - 1 for anything larger.
uint32_t sizeAs32(int64_t size);
// The file's size so: 0 when it cannot be taken.
uint32_t fileSize32(HANDLE file);
// The user's application-data folder (not created), into a kTextCapacity buffer.
bool applicationDataFolder(char* out);
bool seekTo(HANDLE file, uint64_t position);
// Creates every missing level of the folder; true when it is there at the end.
bool createFolderLevels(const char* path);
// True when both paths name one file: the same full path in any letter case, or, when the
// second exists, the same volume and file index as the open file.
bool namesOpenFile(const char* path, HANDLE open, const char* openPath);
// Zero-filled memory for file contents, released by the operation that took it.
void* takeMemory(size_t bytes);
void releaseMemory(void* memory);
