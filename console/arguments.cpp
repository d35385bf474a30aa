// The console tool's command line: its commands, their options and their help.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/job.h"
#include "platform.h"
#include "text/text.h"
#include "tool.h"
#include "version.h"

namespace {

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
    "memory; 4 output not writable; 64 usage error; 74 standard output or error not writable.\n"
    "Nothing is left behind on failure.\n";

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

int usage(const Arguments& a, const std::string& text) {
    printErr("%s: %s\nTry '%s %s--help'.\n", gProgram.c_str(), visible(text).c_str(), gProgram.c_str(),
             a.command ? (std::string(a.command->name) + " ").c_str() : "");
    return kUsageError;
}

} // namespace

std::string programName(const std::string& called) {
    std::string name = called.substr(called.find_last_of("/\\") + 1);
    if (name.size() > 4 && equalIgnoringCase(name.c_str() + name.size() - 4, ".exe")) {
        name.resize(name.size() - 4);
    }
    return name.empty() ? "nimbrel" : name;
}

void printHelp(const Command* c) {
    if (!c) {
        printOut("%s\n%s\nExit status: 0 done; 1 input unreadable or damaged; 2 key missing or unusable;\n"
                 "3 out of memory; 4 output not writable; 64 usage error; 74 standard output or error\n"
                 "not writable.\n",
                 kOverview, kKeyFacts);
        return;
    }
    printOut("Usage: %s\n\n%s\n", c->usage, c->about);
    bool keyed = std::strstr(c->options, " --key-file ") != nullptr;
    if (keyed) {
        printOut("%s", kKeyOptions);
    }
    printOut("Options:\n");
    if (std::strstr(c->options, " --save-key-name ")) {
        printOut("  --save-key-name   store the key file's full path in the container\n"
                 "  --description D   store the description D (at most %u bytes)\n",
                 unsigned(kFieldCapacity - 1));
    }
    if (std::strstr(c->options, " --allow-key-reuse ")) {
        printOut("  --allow-key-reuse go on with a key file the key-use ledger knows as used for\n"
                 "                    other data, or whose use it cannot check (refused, exit 2,\n"
                 "                    without it): see KEY-USE LEDGER in nimbrel(1)\n");
    }
    if (std::strcmp(c->name, "info") == 0) {
        printOut("  --json            one JSON object, its texts in UTF-8 as they read\n");
    }
    if (std::strcmp(c->name, "analyse") == 0) {
        printOut("  --for FILE        the file the key is meant for (its size weighs in)\n");
    }
    if (std::strcmp(c->name, "keygen") == 0) {
        printOut("  --for FILE        a key for FILE: the smallest power of two above its size\n"
                 "  --size N          a key of N bytes\n"
                 "  -o PATH           the key file, or a folder for \"KeyFile.txt\"\n"
                 "  --force           replace an existing key file (it may be the only key to a file)\n"
                 "  --quiet           say nothing but errors\n");
    } else if (std::strstr(c->options, " -o ")) {
        printOut("%s", kCommonOptions);
    }
    printOut("  --help            this text\n");
    if (keyed && std::strcmp(c->name, "decrypt") != 0) {
        printOut("\n%s", kKeyFacts);
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
        printErr("%s", kOverview);
        return kUsageError;
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
    // Options are read only where an option can stand: never an option's value, never after --.
    if (first == "--version") {
        a.version = true;
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
        if (name == "--version" && !inlineValue) {
            a.version = true;
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
    if (a.help || a.version) {
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
        return usage(a, "the description holds at most " + std::to_string(kFieldCapacity - 1) + " bytes");
    }
    return 0;
}
