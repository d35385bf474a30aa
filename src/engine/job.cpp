#include "engine/job.h"

#include <cstring>

ProgramState gState;

namespace {
// Static storage is zero-filled first; this sets the one value that does not start at zero.
[[maybe_unused]] const bool gStateReady = (resetProgramState(gState), true);
} // namespace

void resetProgramState(ProgramState& state) {
    JobSettings& job = state.job;
    std::memset(job.inputPath, 0, sizeof job.inputPath);
    std::memset(job.outputFolder, 0, sizeof job.outputFolder);
    std::memset(job.outputName, 0, sizeof job.outputName);
    std::memset(job.plainName, 0, sizeof job.plainName);
    std::memset(job.description, 0, sizeof job.description);
    std::memset(job.keyPath, 0, sizeof job.keyPath);
    job.keyIsFile = 0;
    job.saveKeyName = 0;
    job.keyBytes = 0;
    job.inputSize = 0;
    job.headerLength = 0;
    job.creationTime = job.lastAccessTime = job.lastWriteTime = 0;
    job.fileAttributes = 0;
    job.progress.store(kProgressIdle);
    job.resultCode.store(ResultOk);
    job.jobTime.store(0);
    state.dialog = DialogState{};
    state.dialog.direction = Encrypt;
    state.mainWindow.store(nullptr);
}
