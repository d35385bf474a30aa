#include "engine/cmdline_win.h"

#include <windows.h>

#include <string>

#include "app/files_win.h"
#include "app/message_win.h"
#include "engine/job.h"
#include "engine/loading_win.h"
#include "engine/messages.h"
#include "engine/worker_win.h"
#include "keys/adopt_win.h"
#include "text/wide_win.h"

ArgumentResult readArgument(uint32_t n, char* out) {
    return splitArgument(winCommandLine().c_str(), n, out, kTextCapacity);
}

bool readCommandLine(uint32_t& resultCode) {
    JobSettings& job = gState.job;
    DialogState& dialog = gState.dialog;
    job.keyIsFile = 0;
    bool stringKeyGiven = false;
    bool keyGiven = false;
    bool keyFileRefused = false;
    bool keyStringRefused = false;
    bool outputRefused = false;
    // The last input named, and why it could not be loaded: reported by the exit code when the
    // run is windowless, by a message when the window opens.
    LoadOutcome inputOutcome = LoadOutcome::Loaded;
    std::string inputNamed;
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
            inputNamed = fits ? text : value;
            if (fits) {
                inputOutcome = loadInputFile(nullptr, text, keyGiven, true);
            } else {
                dialog.inputLoaded = 0;
                inputOutcome = LoadOutcome::Unreadable;
            }
            outputRefused = false; // the input's folder replaces any output folder
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
                fits && keyStringBytes(text, job.keyPath, sizeof job.keyPath, kTextCapacity - 1);
            if (!inCodePage) {
                job.keyPath[0] = '\0';
            }
            job.keyIsFile = 0;
            dialog.keySource = SourceString;
            stringKeyGiven = fits;
            keyStringRefused = fits && !inCodePage;
            keyGiven = true;
            keyFileRefused = false;
        } else if (prefix == "/f=") {
            copyText(fits ? text : "", job.keyPath);
            adoptKeyFile(job.keyPath, nullptr);
            if (dialog.keyReady) {
                job.keyIsFile = 1;
            }
            keyGiven = true;
            keyFileRefused = !dialog.keyReady;
            keyStringRefused = false;
        }
    }

    dialog.cipherMode = ModeXor;
    const bool keyNamed = stringKeyGiven || job.keyIsFile == 1 || keyFileRefused;
    if (inputGiven && inputOutcome != LoadOutcome::Loaded && keyNamed) {
        // A windowless run whose input cannot be used ends as a failed job does: a script can
        // tell it from success, and no window waits for a user who is not there.
        resultCode = ResultReadError;
        return true;
    }
    if (!dialog.inputLoaded || !keyNamed) {
        reportLoadOutcome(nullptr, inputOutcome, inputNamed.c_str());
        return false;
    }
    // batchRun: the job runs here, without a window; its outcome is the exit code.
    if (keyFileRefused || keyStringRefused) {
        // The key file named last cannot be used: no other key takes its place.
        resultCode = ResultNoKey;
        return true;
    }
    if (outputRefused) {
        resultCode = ResultWriteError;
        return true;
    }
    jobWorker();
    resultCode = job.resultCode.load(std::memory_order_acquire);
    return true;
}
