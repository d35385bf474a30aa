#include "keys/analyse_win.h"

#include "engine/filelayer_win.h"
#include "engine/messages.h"
#include "keys/analyser.h"
#include "keys/keyverdict.h"
#include "text/text.h"
#include "win/files_win.h"
#include "win/handle_win.h"
#include "win/wide_win.h"

namespace {

int64_t readKeyPortion(void* context, uint8_t* buffer, uint32_t count) {
    return readFully(*static_cast<HANDLE*>(context), buffer, count);
}

} // namespace

void analyseKeyFileAt(const char* path, const char* inputPath, uint32_t inputSize, char* out,
                      size_t capacity) {
    const char* rating = kCannotOpenKeyFileText;
    int64_t size = -1;
    {
        // Write-through and no sharing: nobody changes the file while it is rated.
        Handle file(winCreateFile(path, GENERIC_READ, 0, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH));
        if (file.valid()) {
            auto* buffer = static_cast<uint8_t*>(takeMemory(kAnalyseBufferSize));
            if (!buffer) {
                copyText(kMemoryError, out, capacity);
                return;
            }
            size = fileSize(file);
            uint32_t keySize = uint32_t(size < 0 ? 0 : uint64_t(size)); // the low 32 bits, as the count holds
            HANDLE opened = file;
            KeyAnalysis analysis =
                analyseKeyStream(keySize, inputSize, kAnalyseChunkSize, buffer, readKeyPortion, &opened);
            releaseMemory(buffer);
            rating = analysis.outcome == AnalyseOutcome::Rated ? analysis.text : nullptr;
        }
    }
    if (!rating || size <= 0) {
        copyText(kCannotOpenKeyFileText, out, capacity);
        return;
    }
    // The rating counts repeats and nulls only; beside it, what a job's own tests find in the bytes it
    // would use, against the loaded file when there is one.
    JobRequest job;
    resetJobRequest(job);
    copyText(path, job.keyPath);
    job.keyBytes = uint32_t(uint64_t(size) > 0xFFFFFFFFull ? 0xFFFFFFFFull : uint64_t(size));
    const bool against = inputPath && inputPath[0] != '\0' && inputSize > 0;
    if (against) {
        copyText(inputPath, job.inputPath);
    }
    char line[kMessageCapacity];
    composeKeyJudgement(
        judgeKey(job, windowsFileLayer(), against ? inputSize : job.keyBytes, KeyLedgerFacts{}), line,
        sizeof line);
    copyText(rating, out, capacity);
    if (line[0] != '\0') {
        appendText(out, capacity,
                   against ? " Tested as a job with the loaded file would test it, this is "
                           : " Tested as a job would test it, this is ");
        appendCutText(out, capacity, line);
    }
}
