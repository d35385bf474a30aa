// nimbrel: Nimbrel's files from a console on any system. The job itself is the program's own,
// run by the core's job runner; each command has a file of its own here, and this one reads the
// command line and hands it to the command.
#include <string>
#include <vector>

#include "platform.h"
#include "tool.h"
#include "version.h"

namespace {

int runCommand(int argc, char** argv) {
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
    if (a.version) {
        printOut("%s %s\n", gProgram.c_str(), NIMBREL_VERSION_TEXT);
        return 0;
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

} // namespace

int main(int argc, char** argv) {
    guardStandardStreams();
    return finishOutput(runCommand(argc, argv));
}
