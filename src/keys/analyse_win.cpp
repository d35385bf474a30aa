// "Analyse": rates the file in the key file field as key material.
#include "app/files_win.h"
#include "app/message_win.h"
#include "engine/job.h"
#include "engine/messages.h"
#include "keys/analyser.h"
#include "keys/keytools_win.h"
#include "resource.h"
#include "text/wide_win.h"

namespace {

int64_t readKeyPortion(void* context, uint8_t* buffer, uint32_t count) {
    return readFully(*static_cast<HANDLE*>(context), buffer, count);
}

} // namespace

void analyseKeyFile(HWND window) {
    char path[kTextCapacity] = "";
    winItemText(window, IDE_KEY_FILE, path, sizeof path);
    // Write-through and no sharing: nobody changes the file while it is rated.
    HANDLE file =
        winCreateFile(path, GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH);
    if (file == INVALID_HANDLE_VALUE) {
        showAdvice(window, kCannotOpenKeyFileText);
        return;
    }
    auto* buffer = static_cast<uint8_t*>(takeMemory(kAnalyseBufferSize));
    if (!buffer) {
        CloseHandle(file);
        showAdvice(window, kMemoryError);
        return;
    }
    int64_t size = fileSize(file);
    uint32_t keySize = uint32_t(size < 0 ? 0 : uint64_t(size)); // the low 32 bits, as the count holds
    KeyAnalysis analysis =
        analyseKeyStream(keySize, gState.job.inputSize, kAnalyseChunkSize, buffer, readKeyPortion, &file);
    CloseHandle(file);
    releaseMemory(buffer);
    showAdvice(window, analysis.outcome == AnalyseOutcome::Rated ? analysis.text : kCannotOpenKeyFileText);
}
