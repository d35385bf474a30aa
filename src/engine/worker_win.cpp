#include "engine/worker_win.h"

#include "engine/filelayer_win.h"
#include "engine/job.h"
#include "engine/operation.h"
#include "engine/xorpass.h"
#include "text/wide_win.h"

namespace {

WorkerTuning gTuning = defaultWorkerTuning();

void reportProgress(void*, uint32_t progress) {
    gState.job.progress.store(progress, std::memory_order_release);
    if (gTuning.progressObserver) {
        gTuning.progressObserver(progress);
    }
}

void showCaption(void*, const char* caption) {
    if (HWND main = static_cast<HWND>(gState.mainWindow.load())) {
        // The worker calls this too; a hung window must not hold the job up.
        winSetWindowTextTimeout(main, caption, 2000);
    }
}

FileLayer workerFiles() {
    FileLayer files = windowsFileLayer();
    files.progress = reportProgress;
    files.caption = showCaption;
    return files;
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
    nameJobOutput(gState.job, gState.dialog, workerFiles());
}

DWORD jobWorker() {
    JobSettings& job = gState.job;
    DialogState& dialog = gState.dialog;
    DWORD start = GetTickCount();
    job.jobTime.store(start, std::memory_order_relaxed);
    job.resultCode.store(ResultOk, std::memory_order_relaxed);
    job.progress.store(kProgressStarted, std::memory_order_release);
    beginJobOutput();

    // The user has answered for an existing output before the job started.
    const JobOptions options{gTuning.chunkSize, gTuning.bufferBytes, true};
    uint32_t result = runJobOperation(job, dialog, workerFiles(), options).result;
    if (jobOutputAbandoned()) {
        result = ResultAbandoned;
    }

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
    abandonJobOutput();
}
