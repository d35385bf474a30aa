// The job worker on Windows: runs a job through the job runner over the Windows file layer and
// reports through a status record, for the window and the windowless run.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "engine/job.h"
#include "engine/operation.h"
#include "keys/jobrunner.h"

// Who a job answers to: how the runner's questions are answered and its notes said, and the data
// folder whose key-use ledger it keeps ("" for a folder there is none of, null for no ledger).
struct JobFront {
    JobRunHooks hooks;
    const char* ledgerFolder;
};

// Runs one job to its end on the calling thread: status.progress goes from kProgressStarted to
// kProgressEnded, with result, hundredths and the note for after the report stored before the
// end. `captionWindow`, when given, is titled with the job's caption while it holds a window.
JobOutcome jobWorker(const JobRequest& request, JobStatus& status, std::atomic<void*>* captionWindow,
                     const JobFront& front);

// Starts jobWorker on a thread of its own, detached, with its own copy of `request`. False when
// no thread could be made; nothing has run then.
bool startJobWorker(const JobRequest& request, JobStatus& status, std::atomic<void*>* captionWindow,
                    const JobFront& front);

// The program is ending while a job may run: the worker's unfinished output is removed and
// never moved into place. Safe to call when no job runs.
void abandonRunningJob();

// How the worker sizes its work. Tests make the chunk small to cross chunk boundaries cheaply,
// ask for more memory than exists, and watch every progress value.
struct WorkerTuning {
    uint32_t chunkSize;
    size_t bufferBytes;
    void (*progressObserver)(uint32_t progress);
};
WorkerTuning defaultWorkerTuning();
void setWorkerTuning(const WorkerTuning& tuning);
// The options a job of the worker runs with, for whatever must read its files as it will.
JobOptions workerJobOptions();
