// One job as every front end runs it: the key's use checked against the key-use ledger and held
// there while the job runs, the front end asked where the user must decide, the verdict on the
// key said, the operation run, and the use recorded before the output takes its name. The window,
// the windowless run and the console tool each call runJob once; they differ only in how they
// answer its questions and say its notes.
#pragma once

#include <cstdint>

#include "engine/operation.h"
#include "keys/keyledger.h"
#include "keys/keyverdict.h"

struct JobRunHooks {
    void* context;
    // A question, before the job or after its pass (before its output takes its name): true to
    // go on. Refusing is the harmless answer, and a front end with nobody to ask refuses.
    bool (*ask)(void* context, LedgerSituation situation, const char* text);
    // A note before the job, which goes on; may be null.
    void (*tell)(void* context, LedgerSituation situation, const char* text);
    // The verdict on the key of an encryption, before the data is touched; null for none.
    // False stops the job.
    bool (*judged)(void* context, const KeyJudgement& verdict);
};

struct JobRun {
    JobOutcome outcome;
    // LedgerSituation notes for after the job's own report.
    uint32_t afterNotes;
};

// Runs the job `request` describes over `files`. `ledger` null keeps no ledger (for tests and
// measurements); otherwise every encryption with a key file used as a pad goes through it. A
// job the front end refuses ends at JobStep::Declined, with nothing written.
JobRun runJob(const JobRequest& request, const FileLayer& files, const JobOptions& options,
              const LedgerFiles* ledger, const JobRunHooks& hooks);

// Whether `request` encrypts with a key file used as a pad (Classic, or XOR of a file that is no
// container), and how many bytes: the ledger keeps only these uses.
bool padUseLength(const JobRequest& request, const FileLayer& files, uint64_t& length);
