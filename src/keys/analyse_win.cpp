#include "keys/analyse_win.h"

#include "engine/messages.h"
#include "keys/analyser.h"
#include "win/files_win.h"
#include "win/handle_win.h"
#include "win/wide_win.h"

namespace {

int64_t readKeyPortion(void* context, uint8_t* buffer, uint32_t count) {
    return readFully(*static_cast<HANDLE*>(context), buffer, count);
}

} // namespace

const char* analyseKeyFileAt(const char* path, uint32_t inputSize) {
    // Write-through and no sharing: nobody changes the file while it is rated.
    Handle file(
        winCreateFile(path, GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH));
    if (!file.valid()) {
        return kCannotOpenKeyFileText;
    }
    auto* buffer = static_cast<uint8_t*>(takeMemory(kAnalyseBufferSize));
    if (!buffer) {
        return kMemoryError;
    }
    int64_t size = fileSize(file);
    uint32_t keySize = uint32_t(size < 0 ? 0 : uint64_t(size)); // the low 32 bits, as the count holds
    HANDLE opened = file;
    KeyAnalysis analysis =
        analyseKeyStream(keySize, inputSize, kAnalyseChunkSize, buffer, readKeyPortion, &opened);
    releaseMemory(buffer);
    return analysis.outcome == AnalyseOutcome::Rated ? analysis.text : kCannotOpenKeyFileText;
}
