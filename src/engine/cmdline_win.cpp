#include "engine/cmdline_win.h"

#include <windows.h>

#include <string>

#include "app/message_win.h"
#include "engine/job.h"
#include "engine/loading_win.h"
#include "engine/messages.h"
#include "engine/worker_win.h"
#include "keys/adopt_win.h"

ArgumentResult readArgument(uint32_t n, char* out) {
    return splitArgument(GetCommandLineA(), n, out, kTextCapacity);
}

bool readCommandLine(uint32_t& resultCode) {
    JobSettings& job = gState.job;
    DialogState& dialog = gState.dialog;
    job.keyIsFile = 0;
    bool stringKeyGiven = false;
    bool outputRefused = false;

    for (uint32_t n = 1;; ++n) {
        std::string argument;
        if (splitArgument(GetCommandLineA(), n, argument) != ArgumentFound) {
            break;
        }
        std::string prefix = argument.substr(0, 3);
        std::string value = argument.size() > 3 ? argument.substr(3) : std::string();
        // A value longer than a path can hold is refused as a file that cannot be opened.
        bool fits = value.size() < kTextCapacity;
        char lowered[4] = "";
        copyText(prefix.c_str(), lowered);
        toLowerAscii(lowered);

        if (std::string(lowered) == "/i=") {
            if (fits) {
                loadInputFile(nullptr, value.c_str());
            } else {
                dialog.inputLoaded = 0;
                char message[kMessageCapacity];
                composeReadError(value.c_str(), message, sizeof message);
                showError(nullptr, message, true);
            }
        } else if (prefix == "/o=") {
            outputRefused = !fits;
            copyText(fits ? value.c_str() : "", job.outputFolder);
        } else if (prefix == "/s=") {
            copyText(fits ? value.c_str() : "", job.keyPath);
            job.keyIsFile = 0;
            dialog.keySource = SourceString;
            stringKeyGiven = fits;
        } else if (prefix == "/f=") {
            copyText(fits ? value.c_str() : "", job.keyPath);
            adoptKeyFile(job.keyPath, nullptr);
            if (dialog.keyReady) {
                job.keyIsFile = 1;
            }
        }
    }

    dialog.cipherMode = ModeXor;
    if (!dialog.inputLoaded || !(stringKeyGiven || job.keyIsFile == 1)) {
        return false;
    }
    // batchRun: the job runs here, without a window; its outcome is the exit code.
    if (outputRefused) {
        resultCode = ResultWriteError;
        return true;
    }
    jobWorker();
    resultCode = job.resultCode.load(std::memory_order_acquire);
    return true;
}
