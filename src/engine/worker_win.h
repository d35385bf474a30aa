// The job worker on Windows: runs the job that gState.job and gState.dialog describe.
#pragma once

#include <windows.h>

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

// The chunk size the worker uses; tests make it small to cross chunk boundaries cheaply.
void setWorkerChunkSize(uint32_t bytes);
