// What the console tool's commands share: the command line as read, and how the tool speaks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int kUsageError = 64;
// Standard output or standard error could not be written (sysexits' EX_IOERR).
constexpr int kOutputFailed = 74;

struct Command {
    const char* name;
    const char* usage;
    const char* about;
    const char* options; // the options this command takes, each between spaces
};

struct Arguments {
    const Command* command = nullptr;
    std::vector<std::string> files;
    std::string keyFile, keyString, description, output, forFile;
    bool keyFileGiven = false, keyStringGiven = false, keyPrompt = false, saveKeyName = false;
    bool descriptionGiven = false, outputGiven = false, force = false, quiet = false, json = false;
    bool forGiven = false, sizeGiven = false, useGiven = false, help = false, allowKeyReuse = false;
    bool version = false;
    uint64_t use = 0, size = 0;
};

// The tool's name as it was called: "nimbrel", or "nimbrel-cli" on Windows.
extern std::string gProgram;

// A text as a terminal should show it: control characters as \xHH.
std::string visible(const std::string& text);
// Standard output and standard error, every write checked: a stream that fails is remembered,
// and no later write to it is tried.
#if defined(__GNUC__)
#define NIMBREL_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define NIMBREL_PRINTF(f, a)
#endif
void printOut(const char* format, ...) NIMBREL_PRINTF(1, 2);
void printErr(const char* format, ...) NIMBREL_PRINTF(1, 2);
// The end of every run: standard output is flushed, and a stream that failed turns a success
// into kOutputFailed, said on standard error while that still takes it (a pipe whose reader has
// gone is not said: nobody is there to read it).
int finishOutput(int status);

// A line on standard error, unless --quiet.
void say(const Arguments& a, const std::string& text);
// A line on standard error whatever --quiet says; returns `code`.
int fail(int code, const std::string& text);
// `what` followed by the system's reason for the last failure, when it is known.
std::string because(const std::string& what);
std::string withUnit(uint64_t n, const char* unit);

// The command line (arguments.cpp): the tool's name from argument 0, and the rest read into
// `a`; 0 when they were read, otherwise the exit status.
std::string programName(const std::string& called);
int parseArguments(int argc, char** argv, Arguments& a);
void printHelp(const Command* c);

// The commands, each in a file of its own: encrypt, decrypt and xor (job.cpp), info, analyse,
// keygen. Each returns the exit status.
int runJob(const Arguments& a);
int runInfo(const Arguments& a);
int runAnalyse(const Arguments& a);
int runKeygen(const Arguments& a);
