// analyse: the program's rating of a key file and its score, then the verdict a job would give.
#include <cstdio>
#include <string>

#include "engine/messages.h"
#include "keys/analyser.h"
#include "keys/keyverdict.h"
#include "platform.h"
#include "tool.h"

namespace {

struct OpenKey {
    const FileLayer* files;
    FileRef file;
};

int64_t readWhole(void* context, uint8_t* buffer, uint32_t count) {
    auto* key = static_cast<OpenKey*>(context);
    return key->files->read(key->files->context, key->file, buffer, count);
}

// The tool reads the key file for its rating in portions that stay in the processor's cache:
// each portion is scanned while still there, and the rating costs little more than the read.
constexpr uint32_t kRatingPortion = 256 * 1024;

// The analyser's rating of the first `keyBytes` bytes of a key file against `payload` bytes.
bool rateKeyFile(const std::string& path, uint32_t keyBytes, uint32_t payload, KeyAnalysis& analysis) {
    const FileLayer files = platformFiles();
    FileRef f = files.openRead(files.context, path.c_str());
    if (f == kNoFile) {
        return false;
    }
    auto* buffer = static_cast<uint8_t*>(files.takeMemory(files.context, kRatingPortion));
    if (buffer) {
        OpenKey key{&files, f};
        analysis = analyseKeyStream(keyBytes, payload, kRatingPortion, buffer, readWhole, &key);
        files.releaseMemory(files.context, buffer);
    }
    files.close(files.context, f);
    return buffer && analysis.outcome == AnalyseOutcome::Rated;
}

} // namespace

int runAnalyse(const Arguments& a) {
    const std::string path = nativePath(a.files[0]);
    uint32_t inputSize = 0;
    if (a.forGiven) {
        int64_t size = fileSizeAt(nativePath(a.forFile));
        if (size < 0) {
            return fail(ResultReadError, because("cannot read " + a.forFile));
        }
        inputSize = size > 0xFFFFFFFFll ? 0xFFFFFFFFu : uint32_t(size);
    }
    int64_t size = fileSizeAt(path);
    KeyAnalysis analysis{};
    const std::string cannot = std::string(kCannotOpenKeyFileText) + ": " + path;
    if (size < 0) {
        return fail(ResultNoKey, because(cannot));
    }
    if (size == 0) {
        return fail(ResultNoKey, cannot + ": it is empty");
    }
    // The low 32 bits of the size, as the program counts it.
    if (!rateKeyFile(path, uint32_t(uint64_t(size)), inputSize, analysis)) {
        return fail(ResultNoKey, because(cannot));
    }
    static const char* const kNames[] = {"very bad", "bad", "OK", "good", "excellent"};
    printOut("%s\nscore %u: %s\n", analysis.text, unsigned(analysis.score), kNames[analysis.verdict]);
    // The verdict a job would give, on the bytes it would use: against FILE when given.
    JobRequest job;
    resetJobRequest(job);
    copyText(path.c_str(), job.keyPath);
    job.keyBytes = uint32_t(uint64_t(size) > 0xFFFFFFFFull ? 0xFFFFFFFFull : uint64_t(size));
    if (a.forGiven) {
        copyText(nativePath(a.forFile).c_str(), job.inputPath);
    }
    char line[kMessageCapacity];
    composeKeyJudgement(
        judgeKey(job, platformFiles(), a.forGiven ? inputSize : job.keyBytes, KeyLedgerFacts{}), line,
        sizeof line);
    if (line[0] != '\0') {
        printOut("verdict: %s\n", line);
    }
    return 0;
}
