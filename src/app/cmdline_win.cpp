#include "app/cmdline_win.h"
#include "app/program_win.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "engine/job.h"
#include "keys/adopt_win.h"
#include "ui/worker_win.h"
#include "win/files_win.h"
#include "win/wide_win.h"

ArgumentResult readArgument(uint32_t n, char* out) {
    return splitArgument(winCommandLine().c_str(), n, out, kTextCapacity);
}

bool isSwitch(const char* argument) {
    char prefix[4] = "";
    cutText(argument, 3, prefix);
    toLowerAscii(prefix);
    for (const char* known : {"/i=", "/o=", "/s=", "/f="}) {
        if (std::strcmp(prefix, known) == 0) {
            return true;
        }
    }
    return false;
}

void readCommandLine(CommandLine& result) {
    std::memset(&result, 0, sizeof result);
    // A windowless run is always an XOR job: a plain input gives "XOR " + its name.
    JobRequest job;
    resetJobRequest(job);
    bool keyIsFile = false;
    bool stringKeyGiven = false;
    bool keyFileRefused = false;
    bool keyStringRefused = false;
    bool outputRefused = false;
    // The last input named, and why it could not be loaded: reported by the exit code when the
    // run is windowless, by a message when the window opens.
    result.inputOutcome = LoadOutcome::Loaded;
    result.inputError = 0;
    bool inputGiven = false;

    const std::string commandLine = winCommandLine();
    for (uint32_t n = 1;; ++n) {
        std::string argument;
        if (splitArgument(commandLine.c_str(), n, argument) != ArgumentFound) {
            break;
        }
        std::string prefix = argument.substr(0, 3);
        std::string value = argument.size() > 3 ? argument.substr(3) : std::string();
        char lowered[4] = "";
        copyText(prefix.c_str(), lowered);
        toLowerAscii(lowered);
        const bool input = std::string(lowered) == "/i=";
        // A value longer than a path can hold is refused as a file that cannot be opened.
        char text[kTextCapacity] = "";
        bool fits = copyText(value.c_str(), text);
        // Paths are taken as full paths: a relative input would otherwise be its own output
        // folder, and a forward slash would stand in a file name.
        if (fits && (input || prefix == "/o=" || prefix == "/f=")) {
            fits = makeFullPath(value.c_str(), text, sizeof text);
        }

        if (input) {
            inputGiven = true;
            cutText(fits ? text : value.c_str(), sizeof result.inputNamed - 1, result.inputNamed);
            result.inputLoaded = false;
            result.inputOutcome = LoadOutcome::Unreadable;
            result.inputError = ERROR_FILENAME_EXCED_RANGE; // unless it fits
            if (fits) {
                InputFile found;
                readInputFile(text, found);
                result.inputOutcome = found.outcome;
                result.inputError = found.error;
                result.inputLoaded = found.outcome == LoadOutcome::Loaded;
                copyText(text, job.inputPath);
                copyText(text, result.inputPath);
                // The input's folder is the output folder, unless a later "/o=" names one.
                copyText(text, job.outputFolder);
                directoryOf(job.outputFolder);
            }
            outputRefused = false;
        } else if (prefix == "/o=") {
            // An empty value (a script's unset variable) is no output folder at all.
            if (!value.empty()) {
                outputRefused = !fits;
                copyText(fits ? text : "", job.outputFolder);
            }
        } else if (prefix == "/s=") {
            // The key stream takes the key in the code page, as earlier versions did; a key with
            // characters it cannot hold would be another key, and is refused.
            bool inCodePage =
                fits && keyStringBytes(text, job.keyText, sizeof job.keyText, kLongestKeyString);
            if (!inCodePage) {
                job.keyText[0] = '\0';
            }
            keyIsFile = false;
            stringKeyGiven = fits;
            keyStringRefused = fits && !inCodePage;
            keyFileRefused = false;
        } else if (prefix == "/f=") {
            copyText(fits ? text : "", job.keyPath);
            uint32_t bytes = 0;
            bool opened = measureKeyFile(job.keyPath, bytes);
            job.keyBytes = bytes;
            if (opened) {
                keyIsFile = true;
            }
            keyFileRefused = !opened;
            keyStringRefused = false;
        }
    }

    const bool keyNamed = stringKeyGiven || keyIsFile || keyFileRefused;
    if (inputGiven && result.inputOutcome != LoadOutcome::Loaded && keyNamed) {
        // A windowless run whose input cannot be used ends as a failed job does: a script can
        // tell it from success, and no window waits for a user who is not there.
        result.windowless = true;
        result.resultCode = ResultReadError;
        return;
    }
    if (!result.inputLoaded || !keyNamed) {
        return;
    }
    // The job runs here, without a window; its outcome is the exit code.
    result.windowless = true;
    if (keyFileRefused || keyStringRefused) {
        // The key file named last cannot be used: no other key takes its place.
        result.resultCode = ResultNoKey;
        return;
    }
    if (outputRefused) {
        result.resultCode = ResultWriteError;
        return;
    }
    job.keyKind = keyIsFile ? KeyKind::File : KeyKind::Text;
    job.mode = ModeXor;
    // Nobody is there to ask, so every question of the key-use ledger is refused, as a key that
    // cannot be used: scripts already take that code for "give another key". Its notes (no
    // ledger can be kept here, as on a read-only medium) let the job go on.
    JobStatus status;
    const uint32_t done =
        jobWorker(job, status, nullptr, JobFront{JobRunHooks{}, gProgram.dataFolder}).result;
    result.resultCode = done == ResultDeclined ? uint32_t(ResultNoKey) : done;
}
