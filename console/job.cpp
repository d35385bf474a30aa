// encrypt, decrypt and xor: the job request from the command line, the runner's questions
// answered, and what came of the job said.
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/container.h"
#include "engine/messages.h"
#include "engine/operation.h"
#include "engine/paths.h"
#include "engine/xorpass.h"
#include "keys/jobrunner.h"
#include "keys/keylength.h"
#include "platform.h"
#include "tool.h"

namespace {

bool holdsBytes(const FileLayer& files, const std::string& path) {
    FileRef f = files.openRead(files.context, path.c_str());
    if (f == kNoFile) {
        return false;
    }
    uint8_t byte = 0;
    bool any = files.read(files.context, f, &byte, 1) == 1;
    files.close(files.context, f);
    return any;
}

// The folder a job writes into: -o DIR, or the input's own folder.
std::string outputFolderFor(const Arguments& a, const std::string& input, char separator) {
    if (a.outputGiven) {
        return nativePath(a.output);
    }
    size_t cut = input.find_last_of(separator);
    if (cut == std::string::npos) {
        return ".";
    }
    return cut == 0 ? input.substr(0, 1) : input.substr(0, cut);
}

void drawProgress(void*, uint32_t progress) {
    uint32_t percent = progressPercent(progress);
    char bar[41];
    for (uint32_t i = 0; i < 40; ++i) {
        bar[i] = i < percent * 40 / 100 ? '#' : '.';
    }
    bar[40] = '\0';
    printErr("\r[%s] %3u%%", bar, unsigned(percent));
    std::fflush(stderr);
}

std::string failureText(const JobOutcome& o, const JobRequest& job, const std::string& input) {
    const std::string output = o.outputPath;
    switch (o.failedAt) {
    case JobStep::None:
        return "";
    case JobStep::NoMemory:
        return "not enough memory for the two work buffers of 25,000,050 bytes";
    case JobStep::KeyNotReady:
        return "the key file " + std::string(job.keyPath) + " is empty";
    case JobStep::KeyTooLong:
        return "the key string is too long";
    case JobStep::KeyUnreadable:
        return because("cannot read the key file " + std::string(job.keyPath));
    case JobStep::KeyIsInput:
        return "the key file " + std::string(job.keyPath) +
               " is the input itself: the output would be all zeros";
    case JobStep::KeyShort:
        return "the key file " + std::string(job.keyPath) + " holds fewer than " +
               std::to_string(job.keyBytes) + " bytes";
    case JobStep::NameUnusable:
        return o.outputName[0] ? "the output path is too long" : "the container stores no usable file name";
    case JobStep::InputUnreadable:
        return because("cannot read " + input);
    case JobStep::InputTooLarge:
        return input + " is 4 GiB or larger; the program's files stay below 4 GiB";
    case JobStep::InputTruncated:
        return input + " is shorter than its container header: damaged";
    case JobStep::OutputIsInput:
        return "the output " + output + " would replace the input; choose another folder with -o";
    case JobStep::OutputIsKey:
        return "the output " + output + " would replace the key file; choose another folder with -o";
    case JobStep::OutputExists:
        return output + " exists; --force replaces it";
    case JobStep::OutputNotCreated:
        return because("cannot create a file beside " + output);
    case JobStep::WriteFailed:
        return because("cannot write " + output) + "; nothing was left behind";
    case JobStep::MoveFailed:
        return because("cannot move the finished output to " + output) + "; nothing was left behind";
    case JobStep::Declined:
        return "the key was refused; nothing was written";
    }
    return "failed";
}

// The ledger's questions: refused, with the reason, unless --allow-key-reuse goes on all the
// same. What it says goes to standard error even with --quiet: it is about the key's safety.
bool askAboutKeyUse(void* context, LedgerSituation situation, const char* text) {
    const Arguments& a = *static_cast<const Arguments*>(context);
    // A key that shows the data is the user's to choose here (XOR is also a plain tool): said, not
    // refused.
    if (!a.allowKeyReuse && situation != KeyShowsData) {
        fail(ResultNoKey,
             std::string(text) + " Nothing was written; --allow-key-reuse goes on all the same.");
        return false;
    }
    fail(0, std::string("warning: ") + text);
    return true;
}

void warnOfLedger(void*, LedgerSituation, const char* text) {
    fail(0, std::string("warning: ") + text);
}

// One plain line about the key, before the data is touched.
bool sayKeyVerdict(void* context, const KeyJudgement& verdict) {
    const Arguments& a = *static_cast<const Arguments*>(context);
    char line[kMessageCapacity];
    composeKeyJudgement(verdict, line, sizeof line);
    // One that shows the data gets its warning from the question instead, --quiet or not.
    if (!a.quiet && line[0] != '\0' && !judgementShowsData(verdict)) {
        printErr("%s: key: %s\n", gProgram.c_str(), line);
    }
    return true;
}

// Fills the key of the job from the options; 0 or the exit status.
int takeKey(const Arguments& a, JobRequest& job, bool askTwice) {
    std::string text;
    if (a.keyPrompt) {
        std::string again;
        if (!readSecret("Key: ", text) || (askTwice && !readSecret("Key again: ", again))) {
            return fail(ResultNoKey, "--key-prompt needs a terminal to ask on");
        }
        if (askTwice && text != again) {
            return fail(ResultNoKey, "the two keys typed differ; nothing was written");
        }
    } else if (a.keyStringGiven) {
        text = a.keyString;
    }
    if (a.keyPrompt || a.keyStringGiven) {
        job.keyKind = KeyKind::Text;
        const std::string tooLong = "the key string holds more than the " +
                                    std::to_string(kLongestKeyString) +
                                    " bytes the program's command line takes";
        // Every character takes a byte of the code page at least.
        size_t characters = 0;
        for (char c : text) {
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }
        if (characters > kLongestKeyString) {
            return fail(ResultNoKey, tooLong);
        }
        std::string bytes;
        if (!keyStringInCodePage(text, bytes)) {
            return fail(ResultNoKey,
                        "the key string holds characters that the program's code page cannot store; "
                        "the window could not give the same key");
        }
        // As long as the windowless run takes; the window keeps fewer, and cannot give such a key.
        if (bytes.size() > kLongestKeyString || !copyText(bytes.c_str(), job.keyText)) {
            return fail(ResultNoKey, tooLong);
        }
        if (askTwice && bytes.size() > kKeyFieldBytes) {
            say(a, "warning: the key string holds more than the " + std::to_string(kKeyFieldBytes) +
                       " bytes the window keeps of one: the file can be decrypted with this tool and the "
                       "program's command line, not in its window");
        }
        return 0;
    }
    // A key file, as the program adopts one: its whole size, or fewer bytes with --use.
    std::string path = absolutePath(nativePath(a.keyFile));
    if (!copyText(path.c_str(), job.keyPath)) {
        return fail(ResultNoKey, "the key file's path is too long: " + path);
    }
    int64_t size = fileSizeAt(path);
    if (size < 0) {
        return fail(ResultNoKey, because("cannot open the key file " + path));
    }
    job.keyKind = KeyKind::File;
    if (a.useGiven && a.use > uint64_t(size)) {
        return fail(ResultNoKey, "the key file " + path + " holds only " + withUnit(uint64_t(size), "byte") +
                                     ", fewer than --use " + std::to_string(a.use));
    }
    job.keyBytes = keyBytesInUse(size > 0xFFFFFFFFll ? 0xFFFFFFFFu : uint32_t(size), a.useGiven ? a.use : 0);
    return 0;
}

} // namespace

int runJob(const Arguments& a) {
    const std::string command = a.command->name;
    JobRequest job;
    resetJobRequest(job);
    FileLayer files = platformFiles();
    const std::string input = nativePath(a.files[0]);
    if (!copyText(input.c_str(), job.inputPath)) {
        return fail(ResultReadError, "the path is too long: " + input);
    }
    std::string folder = outputFolderFor(a, input, files.separator);
    if (!copyText(folder.c_str(), job.outputFolder)) {
        return fail(ResultWriteError, "the output folder's path is too long: " + folder);
    }
    Arguments keyArguments = a;
    if (command == "decrypt") {
        ContainerHeader header;
        switch (readContainerHeader(files, job.inputPath, header)) {
        case HeaderRead::Ok:
            break;
        case HeaderRead::Unreadable:
            return fail(ResultReadError, because("cannot read " + input));
        case HeaderRead::NotContainer:
            return fail(ResultReadError, input + " is no container this version reads (no \"ZEVK1300\" "
                                                 "header, or one cut short)");
        }
        storedFileFromHeader(header, job.stored, files.codePage);
        job.direction = Decrypt;
        job.mode = ModeClassic;
        if (!a.keyFileGiven && !a.keyStringGiven && !a.keyPrompt) {
            char keyPath[kTextCapacity] = "";
            if (!header.hasKeyPath ||
                !textFromStored(header.keyPath, files.codePage, keyPath, sizeof keyPath) ||
                keyPath[0] == '\0') {
                return fail(ResultNoKey, "no key given, and the container names no key file");
            }
            say(a, std::string("using the key file the container names: ") + keyPath);
            keyArguments.keyFile = keyPath;
            keyArguments.keyFileGiven = true;
        }
    } else {
        job.direction = Encrypt;
        job.mode = command == "encrypt" ? ModeClassic : ModeXor;
        copyText(a.description.c_str(), job.description);
        job.useDescription = a.descriptionGiven;
        job.saveKeyName = a.saveKeyName;
    }
    int status = takeKey(keyArguments, job, command != "decrypt");
    if (status != 0) {
        return status;
    }
    char stored[kFieldCapacity];
    if (job.saveKeyName && !storeText(job.keyPath, files.codePage, stored)) {
        // A cut path would name another file when the container is opened.
        return fail(ResultNoKey, "the key file's full path is longer than the " +
                                     std::to_string(kFieldCapacity - 1) +
                                     " bytes a container stores: " + job.keyPath +
                                     "; move the key file or leave out "
                                     "--save-key-name");
    }

    int64_t size = fileSizeAt(input);
    // A special file system may call a file empty that holds bytes (/proc): a job would read none.
    if (size == 0 && holdsBytes(files, input)) {
        return fail(ResultReadError, input +
                                         " says it holds 0 bytes but holds more (a file of a special file "
                                         "system, whose size is not known): copy it to a regular file first");
    }
    // A name the folder's file system cannot take is refused before the pass, not after it.
    OutputNames names;
    nameOutput(job, names, files.separator);
    if (names.outputName[0] != '\0' && !nameFits(folder, names.outputName)) {
        return fail(ResultWriteError, std::string("the output's name \"") + names.outputName +
                                          "\" is longer than a file name can be in the folder \"" + folder +
                                          "\"");
    }
    // A decryption (and XOR, which may be one) is no less secret than its key.
    if (job.keyKind == KeyKind::File && (job.direction == Decrypt || job.mode == ModeXor)) {
        limitOutputMode(job.keyPath);
    }
    JobOptions options = defaultJobOptions();
    options.replaceOutput = a.force;
    LedgerFiles ledger;
    platformLedger(ledger);
    JobRunHooks hooks{const_cast<Arguments*>(&a), askAboutKeyUse, warnOfLedger,
                      command != "decrypt" ? sayKeyVerdict : nullptr};
    bool bar = !a.quiet && errorIsTerminal() && size > int64_t(kChunkSize);
    if (bar) {
        files.progress = drawProgress;
    }
    removePartialOnInterrupt();
    JobRun run = runJob(job, files, options, &ledger, hooks);
    const JobOutcome& outcome = run.outcome;
    if (bar) {
        printErr("\r%50s\r", "");
    }
    if (outcome.failedAt == JobStep::Declined) {
        return ResultNoKey; // the question's text has said why
    }
    if (outcome.result != ResultOk) {
        return fail(int(outcome.result), failureText(outcome, job, input));
    }
    if (command == "decrypt" && !outcome.timesSet) {
        say(a, std::string("warning: the stored times could not be set on ") + outcome.outputPath);
    }
    for (uint32_t notes = run.afterNotes; notes != 0;) {
        const LedgerSituation note = firstSituation(notes);
        notes &= ~uint32_t(note);
        char text[kMessageCapacity];
        composeLedgerSituation(note, LedgerReading{}, ledger, text, sizeof text);
        warnOfLedger(nullptr, note, text);
    }
    say(a, std::string("wrote ") + outcome.outputPath);
    return 0;
}
