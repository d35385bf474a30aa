#include "ui/worker_win.h"

#include <new>

#include "engine/filelayer_win.h"
#include "engine/xorpass.h"
#include "keys/ledger_win.h"
#include "win/wide_win.h"

namespace {

WorkerTuning gTuning = defaultWorkerTuning();

struct Reporting {
    JobStatus* status;
    std::atomic<void*>* captionWindow;
};

void reportProgress(void* context, uint32_t progress) {
    static_cast<Reporting*>(context)->status->progress.store(progress, std::memory_order_release);
    if (gTuning.progressObserver) {
        gTuning.progressObserver(progress);
    }
}

void showCaption(void* context, const char* caption) {
    std::atomic<void*>* target = static_cast<Reporting*>(context)->captionWindow;
    if (HWND window = target ? static_cast<HWND>(target->load()) : nullptr) {
        // A hung window must not hold the job up.
        winSetWindowTextTimeout(window, caption, 2000);
    }
}

// What a thread of its own runs: its own copy of the request, freed by the thread.
struct DetachedJob {
    JobRequest request;
    JobStatus* status;
    std::atomic<void*>* captionWindow;
    JobFront front;
};

DWORD WINAPI jobThread(LPVOID parameter) {
    auto* job = static_cast<DetachedJob*>(parameter);
    jobWorker(job->request, *job->status, job->captionWindow, job->front);
    delete job;
    return 0;
}

} // namespace

WorkerTuning defaultWorkerTuning() {
    return WorkerTuning{kChunkSize, kWorkBufferSize, nullptr};
}

void setWorkerTuning(const WorkerTuning& tuning) {
    gTuning = tuning;
}

JobOptions workerJobOptions() {
    JobOptions options = defaultJobOptions();
    options.chunkSize = gTuning.chunkSize;
    options.bufferBytes = gTuning.bufferBytes;
    // The user has answered for an existing output before the job started.
    options.replaceOutput = true;
    return options;
}

JobOutcome jobWorker(const JobRequest& request, JobStatus& status, std::atomic<void*>* captionWindow,
                     const JobFront& front) {
    DWORD start = GetTickCount();
    status.result.store(ResultOk, std::memory_order_relaxed);
    status.progress.store(kProgressStarted, std::memory_order_release);
    beginJobOutput();

    Reporting reporting{&status, captionWindow};
    FileLayer files = windowsFileLayer();
    files.reportContext = &reporting;
    files.progress = reportProgress;
    files.caption = showCaption;
    WinLedger ledger;
    LedgerFiles ledgerFiles;
    if (front.ledgerFolder) {
        windowsLedgerFiles(front.ledgerFolder, ledger, ledgerFiles);
    }
    JobRun run =
        runJob(request, files, workerJobOptions(), front.ledgerFolder ? &ledgerFiles : nullptr, front.hooks);
    JobOutcome& outcome = run.outcome;
    if (jobOutputAbandoned()) {
        outcome.result = ResultAbandoned;
    }

    status.result.store(outcome.result, std::memory_order_relaxed);
    status.hundredths.store((GetTickCount() - start) / 10, std::memory_order_relaxed);
    status.afterNote.store(run.afterNotes, std::memory_order_relaxed);
    status.failure.store(outcome.result == ResultOk ? 0 : jobFailure(), std::memory_order_relaxed);
    status.progress.store(kProgressEnded, std::memory_order_release);
    return outcome;
}

bool startJobWorker(const JobRequest& request, JobStatus& status, std::atomic<void*>* captionWindow,
                    const JobFront& front) {
    auto* job = new (std::nothrow) DetachedJob{request, &status, captionWindow, front};
    if (!job) {
        return false;
    }
    HANDLE thread = CreateThread(nullptr, 0, jobThread, job, 0, nullptr);
    if (!thread) {
        delete job;
        return false;
    }
    CloseHandle(thread);
    return true;
}

void abandonRunningJob() {
    abandonJobOutput();
}
