// The job operation's files on Windows, for every front end: the window's worker, the
// windowless run and the console tool.
#pragma once

#include <windows.h>

#include "engine/operation.h"

// Files opened without sharing, the temporary output with delete sharing and removed by the
// system if the process dies before the output is complete. Progress and caption are the
// caller's to set.
FileLayer windowsFileLayer();

// A job is about to write its output: forget any earlier abandonment.
void beginJobOutput();
// The process is ending while a job may write: its temporary output is removed, its writes and
// its move into place fail from now on. Safe at any moment, from any thread.
void abandonJobOutput();
bool jobOutputAbandoned();
// Why the file call that failed last since beginJobOutput failed; ERROR_SUCCESS for none.
DWORD jobFailure();
