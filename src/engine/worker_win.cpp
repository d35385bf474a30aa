#include "engine/worker_win.h"

#include <mutex>

#include "app/files_win.h"
#include "engine/container.h"
#include "engine/job.h"
#include "engine/paths.h"
#include "engine/xorpass.h"

namespace {

WorkerTuning gTuning = defaultWorkerTuning();

// The output is written to a temporary file beside it and moved into place only when every
// byte is there. The main thread may abandon the job at exit; this guards the hand-over.
std::mutex gFinishLock;
char gPartialPath[kPartialPathCapacity];
bool gAbandoned = false;

struct WorkerFiles {
    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE key = INVALID_HANDLE_VALUE;
    HANDLE output = INVALID_HANDLE_VALUE;
    char partial[kPartialPathCapacity] = "";
    bool removedOnClose = false;
};

int64_t readData(void* context, uint8_t* buffer, uint32_t count) {
    return readFully(static_cast<WorkerFiles*>(context)->input, buffer, count);
}

int64_t readKey(void* context, uint8_t* buffer, uint32_t count) {
    return readFully(static_cast<WorkerFiles*>(context)->key, buffer, count);
}

bool writeOutput(void* context, const uint8_t* buffer, uint32_t count) {
    {
        std::lock_guard<std::mutex> hold(gFinishLock);
        if (gAbandoned) {
            return false;
        }
    }
    return writeFully(static_cast<WorkerFiles*>(context)->output, buffer, count);
}

void reportProgress(void*, uint32_t progress) {
    gState.job.progress.store(progress, std::memory_order_release);
    if (gTuning.progressObserver) {
        gTuning.progressObserver(progress);
    }
}

FILETIME toFileTime(uint64_t t) {
    FILETIME f;
    f.dwLowDateTime = DWORD(t);
    f.dwHighDateTime = DWORD(t >> 32);
    return f;
}

uint64_t fromFileTime(const FILETIME& f) {
    return (uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

// Creates the temporary output in the output folder and makes it known for abandonment.
// Opened with delete sharing so that an ending program can remove it while it is written. The
// system removes it when it is closed, also when the process is ended mid-job (a decryption's
// partial output is plaintext), until it is complete.
bool createPartialOutput(const char* folder, const char* finalName, WorkerFiles& files) {
    files.output = createPartialFile(folder, "nbr", finalName, GENERIC_READ | GENERIC_WRITE | DELETE,
                                     FILE_SHARE_DELETE, files.partial);
    if (files.output == INVALID_HANDLE_VALUE) {
        return false;
    }
    files.removedOnClose = setDeleteOnClose(files.output, true);
    std::lock_guard<std::mutex> hold(gFinishLock);
    copyText(files.partial, gPartialPath);
    return true;
}

void forgetPartialOutput() {
    std::lock_guard<std::mutex> hold(gFinishLock);
    gPartialPath[0] = '\0';
}

// Closes the temporary output and moves it into place, or removes it.
uint32_t finishOutput(WorkerFiles& files, uint32_t result, const char* finalPath) {
    std::lock_guard<std::mutex> hold(gFinishLock);
    if (gAbandoned) {
        result = ResultAbandoned;
    } else if (result == ResultOk && files.removedOnClose && !setDeleteOnClose(files.output, false)) {
        result = ResultWriteError;
    }
    CloseHandle(files.output);
    files.output = INVALID_HANDLE_VALUE;
    if (result == ResultOk && !MoveFileExA(files.partial, finalPath, MOVEFILE_REPLACE_EXISTING)) {
        result = ResultWriteError;
    }
    if (result != ResultOk) {
        DeleteFileA(files.partial);
    }
    gPartialPath[0] = '\0';
    return result;
}

bool writeHeader(HANDLE output, JobSettings& job, uint32_t useDescription) {
    ContainerHeader header;
    headerFromJob(job, useDescription, header);
    uint8_t bytes[kMaxHeaderLength];
    uint32_t length = encodeHeader(header, bytes);
    uint32_t timesAt = headerTimesOffset(header);
    if (!writeFully(output, bytes, timesAt)) {
        return false;
    }
    // The times are the new file's own, taken once its name fields are written.
    FILETIME created, accessed, written;
    if (!GetFileTime(output, &created, &accessed, &written)) {
        return false;
    }
    job.creationTime = header.creationTime = fromFileTime(created);
    job.lastAccessTime = header.lastAccessTime = fromFileTime(accessed);
    job.lastWriteTime = header.lastWriteTime = fromFileTime(written);
    encodeHeader(header, bytes);
    return writeFully(output, bytes + timesAt, length - timesAt);
}

// Loads the first key chunk into `key`. False when the key file cannot give the bytes it was
// measured with: a job must never run with a key of zeros.
bool loadKey(JobSettings& job, const DialogState& dialog, WorkerFiles& files, uint8_t* key,
             XorPassSetup& setup) {
    setup.keyIsFile = job.keyIsFile;
    if (!job.keyIsFile) {
        job.keyBytes = expandKeyString(job.keyPath, key, gTuning.chunkSize);
        setup.keyChunkLength = job.keyBytes;
        setup.keyChunkCount = 0;
        setup.keyBytes = job.keyBytes;
        return job.keyBytes != 0;
    }
    if (!dialog.keyReady) {
        job.keyBytes = 0;
        return false;
    }
    if (job.keyBytes == 0) {
        return false;
    }
    files.key = openForReading(job.keyPath);
    if (files.key == INVALID_HANDLE_VALUE || fileSize(files.key) < int64_t(job.keyBytes)) {
        return false;
    }
    firstKeyChunk(job.keyBytes, gTuning.chunkSize, setup.keyChunkLength, setup.keyChunkCount);
    setup.keyBytes = job.keyBytes;
    return readFully(files.key, key, setup.keyChunkLength) == int64_t(setup.keyChunkLength);
}

uint32_t runJob(JobSettings& job, DialogState& dialog, uint8_t* data, uint8_t* key) {
    WorkerFiles files;
    XorPassSetup setup{};
    setup.data = data;
    setup.key = key;
    setup.chunkSize = gTuning.chunkSize;

    if (!withTrailingBackslash(job.outputFolder)) {
        return ResultWriteError;
    }
    if (!loadKey(job, dialog, files, key, setup)) {
        if (files.key != INVALID_HANDLE_VALUE) {
            CloseHandle(files.key);
        }
        return ResultNoKey;
    }

    nameOutput();
    char folder[kTextCapacity];
    copyText(job.outputFolder, folder);
    uint32_t result = ResultOk;
    const bool classicDecrypt = dialog.direction == Decrypt && dialog.cipherMode == ModeClassic;
    const bool classicEncrypt = dialog.direction == Encrypt && dialog.cipherMode == ModeClassic;
    uint64_t payload = 0;

    if (job.outputName[0] == '\0' || !appendText(job.outputFolder, job.outputName)) {
        result = ResultWriteError;
    } else if ((files.input = openForReading(job.inputPath)) == INVALID_HANDLE_VALUE) {
        result = ResultReadError;
    } else if (namesOpenFile(job.outputFolder, files.input, job.inputPath) ||
               (job.keyIsFile && namesOpenFile(job.outputFolder, files.key, job.keyPath))) {
        // The output would overwrite the file it is made from.
        result = ResultWriteError;
    } else {
        int64_t size = fileSize(files.input);
        uint64_t skip = classicDecrypt ? job.headerLength : 0;
        if (size < 0 || uint64_t(size) < skip || uint64_t(size) - skip > 0xFFFFFFFFull ||
            !seekTo(files.input, skip)) {
            result = ResultReadError;
        } else {
            payload = uint64_t(size) - skip;
        }
    }

    if (result == ResultOk) {
        CreateDirectoryA(folder, nullptr);
        if (!createPartialOutput(folder, job.outputName, files)) {
            result = ResultWriteError;
        }
    }
    if (result == ResultOk && classicEncrypt && !writeHeader(files.output, job, dialog.useDescription)) {
        result = ResultWriteError;
    }
    if (result == ResultOk) {
        job.inputSize = uint32_t(payload);
        setup.payloadLength = uint32_t(payload);
        XorStreams io{&files, readData, readKey, writeOutput, reportProgress};
        switch (runXorPass(setup, io)) {
        case XorOutcome::Done:
            break;
        case XorOutcome::DataReadFailed:
            result = ResultReadError;
            break;
        case XorOutcome::KeyReadFailed:
            result = ResultNoKey;
            break;
        case XorOutcome::WriteFailed:
            result = ResultWriteError;
            break;
        }
    }
    if (result == ResultOk && classicDecrypt) {
        // The times describe the file; they are no part of it. Times the system refuses (from
        // 2^63 on) leave the new file's own, and the complete file is kept.
        FILETIME created = toFileTime(job.creationTime);
        FILETIME accessed = toFileTime(job.lastAccessTime);
        FILETIME written = toFileTime(job.lastWriteTime);
        SetFileTime(files.output, &created, &accessed, &written);
    }
    if (files.output != INVALID_HANDLE_VALUE) {
        result = finishOutput(files, result, job.outputFolder);
    } else {
        forgetPartialOutput();
    }
    if (files.input != INVALID_HANDLE_VALUE) {
        CloseHandle(files.input);
    }
    if (files.key != INVALID_HANDLE_VALUE) {
        CloseHandle(files.key);
    }
    return result;
}

DWORD WINAPI jobThread(LPVOID) {
    return jobWorker();
}

} // namespace

WorkerTuning defaultWorkerTuning() {
    return WorkerTuning{kChunkSize, kWorkBufferSize, nullptr};
}

void setWorkerTuning(const WorkerTuning& tuning) {
    gTuning = tuning;
}

void nameOutput() {
    JobSettings& job = gState.job;
    DialogState& dialog = gState.dialog;
    if (dialog.direction == Encrypt || dialog.cipherMode == ModeXor) {
        job.fileAttributes = GetFileAttributesA(job.inputPath);
    }
    char caption[kTextCapacity];
    nameOutputFields(job, dialog, caption, sizeof caption);
    if (HWND main = static_cast<HWND>(gState.mainWindow.load())) {
        // The worker may call this too; a hung window must not hold the job up.
        SendMessageTimeoutA(main, WM_SETTEXT, 0, LPARAM(caption), SMTO_ABORTIFHUNG, 2000, nullptr);
    }
}

DWORD jobWorker() {
    JobSettings& job = gState.job;
    DialogState& dialog = gState.dialog;
    DWORD start = GetTickCount();
    job.jobTime.store(start, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> hold(gFinishLock);
        gAbandoned = false;
    }

    uint32_t result;
    auto* data = static_cast<uint8_t*>(takeMemory(gTuning.bufferBytes));
    auto* key = static_cast<uint8_t*>(takeMemory(gTuning.bufferBytes));
    if (!data || !key) {
        result = ResultNoMemory;
    } else {
        job.resultCode.store(ResultOk, std::memory_order_relaxed);
        job.progress.store(kProgressStarted, std::memory_order_release);
        result = runJob(job, dialog, data, key);
    }
    releaseMemory(data);
    releaseMemory(key);

    job.resultCode.store(result, std::memory_order_relaxed);
    job.jobTime.store((GetTickCount() - start) / 10, std::memory_order_relaxed);
    dialog.nextDropIsKey = 0;
    job.progress.store(kProgressEnded, std::memory_order_release);
    return 0;
}

bool startJobWorker() {
    HANDLE thread = CreateThread(nullptr, 0, jobThread, nullptr, 0, nullptr);
    if (!thread) {
        return false;
    }
    CloseHandle(thread);
    return true;
}

void abandonRunningJob() {
    std::lock_guard<std::mutex> hold(gFinishLock);
    gAbandoned = true;
    if (gPartialPath[0] != '\0') {
        // The worker still holds it open; it goes when its last handle closes.
        DeleteFileA(gPartialPath);
    }
}
