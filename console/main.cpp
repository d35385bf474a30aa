// nimbrel: Nimbrel's files from a console on any system. The job itself is the program's own
// operation; this file reads the command line, says how strong the key is, and reports.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/container.h"
#include "engine/job.h"
#include "engine/messages.h"
#include "engine/operation.h"
#include "engine/paths.h"
#include "engine/xorpass.h"
#include "keys/analyser.h"
#include "keys/jobrunner.h"
#include "keys/keyfile.h"
#include "keys/keylength.h"
#include "keys/keyverdict.h"
#include "platform.h"
#include "version.h"

namespace {

constexpr int kUsageError = 64;

const char kOverview[] =
    "Usage: nimbrel COMMAND [OPTIONS]\n"
    "\n"
    "Reads and writes the files of Nimbrel, the Windows file encrypter, byte for byte.\n"
    "\n"
    "Commands:\n"
    "  encrypt FILE      write a Classic container (FILE's name, .qdx) the program opens\n"
    "  decrypt FILE.qdx  restore the file a container holds, with its stored name and times\n"
    "  xor FILE          write \"XOR FILE\", the program's XOR mode; the same command undoes it\n"
    "  info FILE.qdx     show a container's header\n"
    "  analyse KEYFILE   rate a file as key material, as the program's \"Analyse\" does\n"
    "  keygen            write a random key file\n"
    "\n"
    "'nimbrel help COMMAND' tells more about each; --version gives the version.\n"
    "A file name of '-' (standard input or output) is not supported.\n";

const char kKeyFacts[] =
    "How strong the key is: said on standard error before every encrypt and xor, on the\n"
    "key bytes the job uses and the data beside them.\n"
    "  one-time pad    a key file at least as long as the data in which no structure was found:\n"
    "                  not one byte value throughout, no period of up to 512 KiB in its first\n"
    "                  MiB, no stretch of 4096 bytes twice among the bytes tested, byte values\n"
    "                  as evenly spread as a random key's (chi-square over the 256 values below\n"
    "                  377), nothing tying it to the data. Keys above 16 MiB are tested on a\n"
    "                  sample. Passing is no proof: unbreakable only if truly random, kept\n"
    "                  secret, and used for this one file alone.\n"
    "  repeating key   a key string repeats with its own period (\"abc\" every 3 bytes), a key\n"
    "                  file shorter than the data every N bytes: a few known bytes of the file\n"
    "                  (a file header, a run of zeros) expose the rest.\n"
    "  default key     an empty key string means the program's built-in key text, which\n"
    "                  anyone can read: no secrecy at all.\n"
    "  not random      a key file as long as the data that fails a test, with the reason. One of\n"
    "                  fewer than 1,280 bytes is too short to test, and said to be.\n"
    "  the data itself a key file holding the data XORed with one byte or a short pattern, or\n"
    "                  shifted by a few bytes: not encryption at all.\n"
    "  earlier output  a key file that is an output the key-use ledger knows: XOR the two\n"
    "                  outputs and the data drops out.\n"
    "  Whatever the key, the program's format leaves some bytes unchanged: one in every key\n"
    "  period of a repeating key, one in every 25,000,000 with a one-time pad.\n";

const char kKeyOptions[] =
    "Key (one of):\n"
    "  --key-file K      the key file K (a regular file, not the input); --use N takes only\n"
    "                    its first N bytes, and an N above its size is refused\n"
    "  --key-string S    a typed key; an empty one is the public default key\n"
    "  --key-prompt      ask for the key string on the terminal without showing it\n";

const char kCommonOptions[] =
    "  -o DIR            write into DIR (made if missing, one level) instead of FILE's folder\n"
    "  --force           replace an existing output (never the input or the key)\n"
    "  --quiet           say nothing but errors\n"
    "\n"
    "Exit status: 0 done; 1 input unreadable or damaged; 2 key missing or unusable; 3 out of\n"
    "memory; 4 output not writable; 64 usage error. Nothing is left behind on failure.\n";

struct Command {
    const char* name;
    const char* usage;
    const char* about;
    const char* options; // the options this command takes, each between spaces
};

const Command kCommands[] = {
    {"encrypt", "nimbrel encrypt FILE KEY [--save-key-name] [--description D] [-o DIR] [--allow-key-reuse]",
     "Writes FILE's name without its extension, plus .qdx: a Classic container with the file's\n"
     "name, the description when given, the key file's full path with --save-key-name, and times.\n"
     "--key-prompt asks twice.\n",
     " --key-file --use --key-string --key-prompt --save-key-name --description -o --force --quiet "
     "--allow-key-reuse "},
    {"decrypt", "nimbrel decrypt FILE.qdx [KEY] [-o DIR]",
     "Restores the stored file under its stored name (reduced to a bare file name, as the program\n"
     "does), with the access and write times the system can set. Without a key option it uses the\n"
     "key file the container names, and says so. A wrong key gives wrong output: nothing in the\n"
     "format tests the key.\n",
     " --key-file --use --key-string --key-prompt -o --force --quiet "},
    {"xor", "nimbrel xor FILE KEY [-o DIR] [--allow-key-reuse]",
     "Writes \"XOR FILE\", the bare XOR of file and key, identical to the program's XOR mode and\n"
     "its windowless run. The same command with the same key restores the file.\n"
     "--key-prompt asks twice.\n",
     " --key-file --use --key-string --key-prompt -o --force --quiet --allow-key-reuse "},
    {"info", "nimbrel info FILE.qdx [--json]",
     "Prints a container's header: stored name, description, key file path, times (UTC),\n"
     "attribute word, payload size and header length. A file that is no container, or is cut\n"
     "short, is an error (exit 1).\n",
     " --json "},
    {"analyse", "nimbrel analyse KEYFILE [--for FILE]",
     "Rates KEYFILE as key material: the program's verdict and its score (very bad 0-69, bad\n"
     "70-104, OK 105-144, good 145-199, excellent 200 and more), against the size of FILE when\n"
     "given, then the line encrypt and xor would say of it (against FILE's data when given).\n"
     "A quick statistical screen, not a proof of randomness.\n",
     " --for "},
    {"keygen", "nimbrel keygen (--for FILE | --size N) [-o PATH]",
     "Writes a key file of random bytes from the system's cryptographic source: N bytes, or for\n"
     "FILE the program's length rule (the smallest power of two above its size). PATH is the new\n"
     "file, or a folder to put \"KeyFile.txt\" in; \"KeyFile.txt\" here by default.\n",
     " --for --size -o --force --quiet "},
};

struct Arguments {
    const Command* command = nullptr;
    std::vector<std::string> files;
    std::string keyFile, keyString, description, output, forFile;
    bool keyFileGiven = false, keyStringGiven = false, keyPrompt = false, saveKeyName = false;
    bool descriptionGiven = false, outputGiven = false, force = false, quiet = false, json = false;
    bool forGiven = false, sizeGiven = false, useGiven = false, help = false, allowKeyReuse = false;
    uint64_t use = 0, size = 0;
};

// The tool's name as it was called: "nimbrel", or "nimbrel-cli" on Windows.
std::string gProgram = "nimbrel";

std::string programName(const std::string& called) {
    std::string name = called.substr(called.find_last_of("/\\") + 1);
    if (name.size() > 4 && equalIgnoringCase(name.c_str() + name.size() - 4, ".exe")) {
        name.resize(name.size() - 4);
    }
    return name.empty() ? "nimbrel" : name;
}

// A text as a terminal should show it: control characters (a stored name may hold an escape
// sequence or a line break) as \xHH, so that no file can move the cursor, clear the screen or
// retitle the window.
std::string visible(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        // C1 controls arrive in UTF-8 as C2 80 to C2 9F.
        bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                  static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (c < 0x20 || c == 0x7F || c1) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X",
                          unsigned(c1 ? static_cast<unsigned char>(text[++i]) : c));
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out;
}

void say(const Arguments& a, const std::string& text) {
    if (!a.quiet) {
        std::fprintf(stderr, "%s: %s\n", gProgram.c_str(), visible(text).c_str());
    }
}

int fail(int code, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", gProgram.c_str(), visible(text).c_str());
    return code;
}

// `what` followed by the system's reason for the last failure, when it is known.
std::string because(const std::string& what) {
    const std::string reason = systemReason();
    return reason.empty() ? what : what + ": " + reason;
}

int usage(const Arguments& a, const std::string& text) {
    std::fprintf(stderr, "%s: %s\nTry '%s %s--help'.\n", gProgram.c_str(), visible(text).c_str(),
                 gProgram.c_str(), a.command ? (std::string(a.command->name) + " ").c_str() : "");
    return kUsageError;
}

void printHelp(const Command* c) {
    if (!c) {
        std::printf("%s\n%s\nExit status: 0 done; 1 input unreadable or damaged; 2 key missing or unusable;\n"
                    "3 out of memory; 4 output not writable; 64 usage error.\n",
                    kOverview, kKeyFacts);
        return;
    }
    std::printf("Usage: %s\n\n%s\n", c->usage, c->about);
    bool keyed = std::strstr(c->options, " --key-file ") != nullptr;
    if (keyed) {
        std::printf("%s", kKeyOptions);
    }
    std::printf("Options:\n");
    if (std::strstr(c->options, " --save-key-name ")) {
        std::printf("  --save-key-name   store the key file's full path in the container\n"
                    "  --description D   store the description D (at most 299 bytes)\n");
    }
    if (std::strstr(c->options, " --allow-key-reuse ")) {
        std::printf("  --allow-key-reuse go on with a key file the key-use ledger knows as used for\n"
                    "                    other data, or whose use it cannot check (refused, exit 2,\n"
                    "                    without it): see KEY-USE LEDGER in nimbrel(1)\n");
    }
    if (std::strcmp(c->name, "info") == 0) {
        std::printf(
            "  --json            one JSON object; bytes above 127 as the code points of the same value\n");
    }
    if (std::strcmp(c->name, "analyse") == 0) {
        std::printf("  --for FILE        the file the key is meant for (its size weighs in)\n");
    }
    if (std::strcmp(c->name, "keygen") == 0) {
        std::printf("  --for FILE        a key for FILE: the smallest power of two above its size\n"
                    "  --size N          a key of N bytes\n"
                    "  -o PATH           the key file, or a folder for \"KeyFile.txt\"\n"
                    "  --force           replace an existing key file (it may be the only key to a file)\n"
                    "  --quiet           say nothing but errors\n");
    } else if (std::strstr(c->options, " -o ")) {
        std::printf("%s", kCommonOptions);
    }
    std::printf("  --help            this text\n");
    if (keyed && std::strcmp(c->name, "decrypt") != 0) {
        std::printf("\n%s", kKeyFacts);
    }
}

bool parseCount(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 19) {
        return false;
    }
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + uint64_t(c - '0');
    }
    return true;
}

// 0 when the arguments were read; otherwise the exit status.
int parseArguments(int argc, char** argv, Arguments& a) {
    if (argc < 2) {
        std::fprintf(stderr, "%s", kOverview);
        return kUsageError;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--") {
            break;
        }
        if (std::string(argv[i]) == "--version") {
            std::printf("%s %s\n", gProgram.c_str(), NIMBREL_VERSION_TEXT);
            std::exit(0);
        }
    }
    std::string first = argv[1];
    // "help CMD" is "CMD --help".
    if (first == "help" && argc > 2) {
        first = argv[2];
        a.help = true;
    } else if (first == "--help" || first == "-h" || first == "help") {
        a.help = true;
        return 0;
    }
    for (const Command& c : kCommands) {
        if (first == c.name) {
            a.command = &c;
        }
    }
    if (a.help && a.command) {
        return 0;
    }
    if (!a.command) {
        return usage(a, "unknown command '" + first + "'");
    }
    bool optionsEnd = false;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnd || arg.empty() || arg[0] != '-' || arg == "-") {
            a.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        std::string name = arg, value;
        bool inlineValue = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        if (name == "--help" || name == "-h") {
            a.help = true;
            continue;
        }
        if (std::strstr(a.command->options, (" " + name + " ").c_str()) == nullptr) {
            return usage(a, "'" + name + "' is not an option of " + a.command->name);
        }
        bool takesValue = name == "--key-file" || name == "--use" || name == "--key-string" ||
                          name == "--description" || name == "-o" || name == "--for" || name == "--size";
        if (takesValue && !inlineValue) {
            if (i + 1 >= argc) {
                return usage(a, "'" + name + "' needs a value");
            }
            value = argv[++i];
        } else if (!takesValue && inlineValue) {
            return usage(a, "'" + name + "' takes no value");
        }
        if (name == "--key-file") {
            a.keyFile = value;
            a.keyFileGiven = true;
        } else if (name == "--key-string") {
            a.keyString = value;
            a.keyStringGiven = true;
        } else if (name == "--key-prompt") {
            a.keyPrompt = true;
        } else if (name == "--use") {
            a.useGiven = true;
            if (!parseCount(value, a.use) || a.use > 0xFFFFFFFFull) {
                return usage(a, "--use needs a byte count below 4294967296");
            }
        } else if (name == "--save-key-name") {
            a.saveKeyName = true;
        } else if (name == "--description") {
            a.description = value;
            a.descriptionGiven = true;
        } else if (name == "-o") {
            a.output = value;
            a.outputGiven = true;
        } else if (name == "--for") {
            a.forFile = value;
            a.forGiven = true;
        } else if (name == "--size") {
            a.sizeGiven = true;
            if (!parseCount(value, a.size) || a.size == 0 || a.size > 0xFFFFFFFFull) {
                return usage(a, "--size needs a byte count from 1 to 4294967295");
            }
        } else if (name == "--force") {
            a.force = true;
        } else if (name == "--quiet") {
            a.quiet = true;
        } else if (name == "--json") {
            a.json = true;
        } else if (name == "--allow-key-reuse") {
            a.allowKeyReuse = true;
        }
    }
    if (a.help) {
        return 0;
    }
    const std::string command = a.command->name;
    // Standard input and output would need a job that cannot leave its output unfinished on a
    // failure; a file name is asked for instead.
    for (const std::string* value : {&a.keyFile, &a.output, &a.forFile}) {
        if (*value == "-") {
            return usage(a, "'-' (standard input or output) is not supported: name a file");
        }
    }
    for (const std::string& file : a.files) {
        if (file == "-") {
            return usage(a, "'-' (standard input or output) is not supported: name a file");
        }
    }
    size_t wanted = command == "keygen" ? 0 : 1;
    if (a.files.size() != wanted) {
        return usage(a, wanted == 0 ? "keygen takes no file name; use --for FILE or -o PATH"
                                    : command + " takes exactly one file");
    }
    int keys = int(a.keyFileGiven) + int(a.keyStringGiven) + int(a.keyPrompt);
    if (keys > 1) {
        return usage(a, "give one key: --key-file, --key-string or --key-prompt");
    }
    if (keys == 0 && (command == "encrypt" || command == "xor")) {
        return usage(a, command + " needs a key: --key-file, --key-string or --key-prompt");
    }
    if (a.useGiven && (a.keyStringGiven || a.keyPrompt)) {
        return usage(a, "--use counts the bytes of a key file");
    }
    if (a.saveKeyName && !a.keyFileGiven) {
        return usage(a, "--save-key-name stores a key file's path; there is no key file");
    }
    if (command == "keygen" && a.forGiven == a.sizeGiven) {
        return usage(a, "keygen needs one of --for FILE and --size N");
    }
    if (a.descriptionGiven && a.description.size() >= kFieldCapacity) {
        return usage(a, "the description holds at most 299 bytes");
    }
    return 0;
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

std::string withUnit(uint64_t n, const char* unit) {
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
}

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

void drawProgress(void*, uint32_t progress) {
    uint32_t percent = progressPercent(progress);
    char bar[41];
    for (uint32_t i = 0; i < 40; ++i) {
        bar[i] = i < percent * 40 / 100 ? '#' : '.';
    }
    bar[40] = '\0';
    std::fprintf(stderr, "\r[%s] %3u%%", bar, unsigned(percent));
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
bool askAboutKeyUse(void* context, LedgerSituation, const char* text) {
    const Arguments& a = *static_cast<const Arguments*>(context);
    if (!a.allowKeyReuse) {
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
    if (!a.quiet && line[0] != '\0') {
        std::fprintf(stderr, "%s: key: %s\n", gProgram.c_str(), line);
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
        std::string bytes;
        if (!keyStringInCodePage(text, bytes)) {
            return fail(ResultNoKey,
                        "the key string holds characters that the program's code page cannot store; "
                        "the window could not give the same key");
        }
        // A key longer than the window's field takes could never be typed there again.
        if (bytes.size() > kKeyFieldBytes || !copyText(bytes.c_str(), job.keyText)) {
            return fail(ResultNoKey, "the key string holds more than the 289 bytes the window takes");
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
    char stored[kHeaderFieldLength];
    if (job.saveKeyName && !storeText(job.keyPath, files.codePage, stored)) {
        // A cut path would name another file when the container is opened.
        return fail(ResultNoKey,
                    std::string("the key file's full path is longer than the 299 bytes a container "
                                "stores: ") +
                        job.keyPath +
                        "; move the key file or leave out "
                        "--save-key-name");
    }

    int64_t size = fileSizeAt(input);
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
        std::fprintf(stderr, "\r%50s\r", "");
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

// Windows file time as "YYYY-MM-DD hh:mm:ss" in UTC; empty for none.
std::string timeText(uint64_t fileTime) {
    if (fileTime == 0) {
        return "";
    }
    int64_t seconds = int64_t(fileTime / 10000000ull) - 11644473600ll;
    int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    int64_t rest = seconds - days * 86400;
    int64_t year = 0, month = 0, day = 0;
    civilDate(days, year, month, day);
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld",
                  static_cast<long long>(year), static_cast<long long>(month), static_cast<long long>(day),
                  static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                  static_cast<long long>(rest % 60));
    return text;
}

std::string jsonText(const char* text, bool present) {
    if (!present) {
        return "null";
    }
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += char(*p);
        } else if (*p < 0x20 || *p >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(*p));
            out += escaped;
        } else {
            out += char(*p);
        }
    }
    return out + "\"";
}

int runInfo(const Arguments& a) {
    const std::string input = nativePath(a.files[0]);
    const FileLayer files = platformFiles();
    ContainerHeader h;
    switch (readContainerHeader(files, input.c_str(), h)) {
    case HeaderRead::Ok:
        break;
    case HeaderRead::Unreadable:
        return fail(ResultReadError, because("cannot read " + input));
    case HeaderRead::NotContainer:
        return fail(ResultReadError,
                    input + " is no container this version reads (no \"ZEVK1300\" header, or one cut short)");
    }
    uint64_t payload = uint64_t(fileSizeAt(input)) - h.headerLength;
    // The texts as the program reads them, whatever code page or form they were stored in.
    auto stored = [&files](const char* field) {
        char text[kTextCapacity];
        return std::string(textFromStored(field, files.codePage, text, sizeof text) ? text : field);
    };
    const std::string name = stored(h.plainName), description = stored(h.description),
                      keyFile = stored(h.keyPath);
    if (a.json) {
        auto time = [](uint64_t t) {
            std::string text = timeText(t);
            return text.empty() ? std::string("null") : "\"" + text.replace(10, 1, "T") + "Z\"";
        };
        std::printf("{\"name\": %s, \"description\": %s, \"keyFile\": %s, \"created\": %s, \"accessed\": %s, "
                    "\"modified\": %s, \"attributes\": %u, \"payloadBytes\": %llu, \"headerBytes\": %u}\n",
                    jsonText(name.c_str(), true).c_str(),
                    jsonText(description.c_str(), h.hasDescription).c_str(),
                    jsonText(keyFile.c_str(), h.hasKeyPath).c_str(), time(h.creationTime).c_str(),
                    time(h.lastAccessTime).c_str(), time(h.lastWriteTime).c_str(), unsigned(h.attributes),
                    static_cast<unsigned long long>(payload), unsigned(h.headerLength));
        return 0;
    }
    auto line = [](const char* label, const std::string& value) {
        std::printf("%-13s%s\n", label, value.c_str());
    };
    auto time = [](uint64_t t) {
        std::string text = timeText(t);
        return text.empty() ? std::string("(none)") : text + " UTC";
    };
    char attributes[16];
    std::snprintf(attributes, sizeof attributes, "0x%04x", unsigned(h.attributes));
    line("name:", visible(name));
    line("description:", h.hasDescription ? visible(description) : "(none)");
    line("key file:", h.hasKeyPath ? visible(keyFile) : "(none)");
    line("created:", time(h.creationTime));
    line("accessed:", time(h.lastAccessTime));
    line("modified:", time(h.lastWriteTime));
    line("attributes:", attributes);
    line("payload:", withUnit(payload, "byte"));
    line("header:", withUnit(h.headerLength, "byte"));
    return 0;
}

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
    // The low 32 bits of the size, as the program counts it.
    if (size <= 0 || !rateKeyFile(path, uint32_t(uint64_t(size)), inputSize, analysis)) {
        return fail(ResultNoKey, std::string(kCannotOpenKeyFileText) + ": " + path);
    }
    static const char* const kNames[] = {"very bad", "bad", "OK", "good", "excellent"};
    std::printf("%s\nscore %u: %s\n", analysis.text, unsigned(analysis.score), kNames[analysis.verdict]);
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
        std::printf("verdict: %s\n", line);
    }
    return 0;
}

struct KeySink {
    const FileLayer* files;
    FileRef file;
};

bool fillRandom(void*, uint8_t* buffer, uint32_t count) {
    return randomBytes(buffer, count);
}

bool writeToSink(void* context, const uint8_t* buffer, uint32_t count) {
    auto* sink = static_cast<KeySink*>(context);
    return sink->files->write(sink->files->context, sink->file, buffer, count);
}

int runKeygen(const Arguments& a) {
    uint32_t length = uint32_t(a.size);
    if (a.forGiven) {
        int64_t size = fileSizeAt(nativePath(a.forFile));
        if (size < 0) {
            return fail(ResultReadError, because("cannot read " + a.forFile));
        }
        length = keyLengthFor(size > 0xFFFFFFFFll ? 0xFFFFFFFFu : uint32_t(size));
    }
    FileLayer files = platformFiles();
    std::string path = a.outputGiven ? nativePath(a.output) : "KeyFile.txt";
    if (isFolder(path)) {
        char joined[kTextCapacity];
        if (!joinOutputPath(path.c_str(), "KeyFile.txt", joined, sizeof joined, files.separator)) {
            return fail(ResultWriteError, "the path is too long: " + path);
        }
        path = joined;
    }
    if (!a.force && files.exists(files.context, path.c_str())) {
        return fail(ResultWriteError, path + " exists; --force replaces it");
    }
    // The key is written under the program's own temporary name beside it, and named when whole.
    std::string folder = path.substr(0, path.find_last_of(files.separator) + 1);
    char partial[kPartialPathCapacity];
    if (!keyDraftPath(folder.empty() ? "." : folder.c_str(), path.c_str() + folder.size(),
                      files.uniqueNumber(files.context), partial, sizeof partial, files.separator)) {
        return fail(ResultWriteError, "the path is too long: " + path);
    }
    auto* buffer = static_cast<uint8_t*>(files.takeMemory(files.context, kKeyPortion));
    if (!buffer) {
        return fail(ResultNoMemory, "not enough memory");
    }
    removePartialOnInterrupt();
    FileRef f = files.createNew(files.context, partial);
    DraftResult result = DraftWriteFailed;
    if (f != kNoFile) {
        keepToOwner(f);
        KeySink sink{&files, f};
        result = fillKeyDraft(length, buffer, fillRandom, nullptr, writeToSink, &sink);
    }
    files.releaseMemory(files.context, buffer);
    bool written = f != kNoFile && files.close(files.context, f) && result == DraftWritten &&
                   files.rename(files.context, partial, path.c_str(), a.force);
    if (!written) {
        if (f != kNoFile) {
            files.remove(files.context, partial);
        }
        if (result == DraftFillFailed) {
            return fail(ResultNoKey, "Cannot create Keyfile. This is generally caused by a failure in "
                                     "initialising the Crypto routine.");
        }
        return fail(ResultWriteError, because("cannot write " + path) + "; nothing was left behind");
    }
    say(a, "wrote " + path + " (" + withUnit(length, "random byte") + ")");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments = platformArguments(argc, argv);
    if (!arguments.empty()) {
        gProgram = programName(arguments[0]);
    }
    std::vector<char*> pointers;
    for (std::string& argument : arguments) {
        pointers.push_back(&argument[0]);
    }
    pointers.push_back(nullptr);
    Arguments a;
    int status = parseArguments(int(arguments.size()), pointers.data(), a);
    if (status != 0) {
        return status;
    }
    if (a.help) {
        printHelp(a.command);
        return 0;
    }
    const std::string command = a.command->name;
    if (command == "info") {
        return runInfo(a);
    }
    if (command == "analyse") {
        return runAnalyse(a);
    }
    if (command == "keygen") {
        return runKeygen(a);
    }
    return runJob(a);
}
