// The job worker on Windows: runs the job that gState.job and gState.dialog describe.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Decides plainName, outputName and fileAttributes, and gives the main window its job caption.
void nameOutput();

// Runs one job to its end on the calling thread; the outcome is in resultCode and jobTime,
// and progress is 200. Returns 0.
DWORD jobWorker();

// Starts jobWorker on a thread of its own, detached. False when no thread could be made (the
// job is then reported as failed for want of memory).
bool startJobWorker();

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
