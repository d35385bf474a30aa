// The built console tool as a script runs it: every command's round trip and bad inputs, exit
// codes, what it says about the key, and that a failure leaves nothing behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/job.h"
#include "support/expected.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct ToolRun {
    int status = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return "";
    }
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Bytes readBytes(const std::string& path) {
    std::string s = slurp(path);
    return Bytes(s.begin(), s.end());
}

void writeBytes(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

Bytes pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        b[i] = uint8_t(seed + 13 * i + (i >> 9));
    }
    return b;
}

Bytes randomish(size_t n, uint32_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        b[i] = uint8_t(seed >> 16);
    }
    return b;
}

std::set<std::string> entries(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") {
                names.insert(n);
            }
        }
        closedir(d);
    }
    return names;
}

// A run of the tool started in `folder` with no terminal: stdin empty, stdout and stderr to
// files (named with `tag`, so that runs may overlap). A run that waits longer than a few seconds
// is stopped. `fileLimit` (bytes), when given, kills the tool as its output grows past it, as a
// crash or a kill -9 would. `calledAs` is the name the tool is started under.
struct StartedTool {
    pid_t pid;
    std::string outPath, errPath;
};

// Where a run's standard output or error goes: a file of the test's (null), another file such as
// /dev/full, or nowhere at all (kClosed).
constexpr char kClosed[] = "closed";

StartedTool startTool(const std::string& folder, const std::vector<std::string>& args, rlim_t fileLimit = 0,
                      const char* calledAs = NIMBREL_TOOL, const std::string& tag = "",
                      const char* outTo = nullptr, const char* errTo = nullptr) {
    StartedTool t{-1, folder + "/../stdout" + tag, folder + "/../stderr" + tag};
    const bool outClosed = outTo && std::string(outTo) == kClosed;
    const bool errClosed = errTo && std::string(errTo) == kClosed;
    t.pid = fork();
    if (t.pid == 0) {
        if (chdir(folder.c_str()) != 0) {
            _exit(127);
        }
        int in = open("/dev/null", O_RDONLY);
        int out = open(outTo && !outClosed ? outTo : t.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errTo && !errClosed ? errTo : t.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (outClosed) {
            close(1);
        }
        if (errClosed) {
            close(2);
        }
        setsid(); // no controlling terminal: --key-prompt must refuse
        // Each test folder has a key-use ledger of its own.
        setenv("XDG_DATA_HOME", (folder + "/../data").c_str(), 1);
        alarm(20);
        if (fileLimit) {
            rlimit limit{fileLimit, fileLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv{const_cast<char*>(calledAs)};
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(NIMBREL_TOOL, argv.data());
        _exit(127);
    }
    return t;
}

ToolRun finishTool(const StartedTool& t) {
    ToolRun r;
    int status = 0;
    waitpid(t.pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 200;
    r.out = slurp(t.outPath);
    r.err = slurp(t.errPath);
    return r;
}

ToolRun runTool(const std::string& folder, const std::vector<std::string>& args, rlim_t fileLimit = 0,
                const char* calledAs = NIMBREL_TOOL, const char* outTo = nullptr,
                const char* errTo = nullptr) {
    return finishTool(startTool(folder, args, fileLimit, calledAs, "", outTo, errTo));
}

struct Folder {
    std::string root, path;
    Folder() {
        char templ[] = "/tmp/nimbrel_cli_XXXXXX";
        root = mkdtemp(templ);
        path = root + "/work";
        mkdir(path.c_str(), 0700);
    }
    ~Folder() { EXPECT_EQ(std::system(("rm -rf '" + root + "'").c_str()), 0); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

TEST(ConsoleTool, CommandsAndTheirFailures) {
    Folder f;
    const Bytes plain = pattern(70000, 3);
    const Bytes longKey = randomish(80000, 7), shortKey = pattern(1000, 9), zeros(80000, 0);
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* says;                // on standard error (or standard output)
        std::string writes;              // the one new file, or ""
        std::function<Bytes()> expected; // its bytes, when checked
        const char* out = nullptr;       // standard output elsewhere: /dev/full, or kClosed
        const char* err = nullptr;       // standard error likewise
        int mode = -1;                   // the new file's permission bits, when checked
        const char* notSays = nullptr;   // a reason that would be the wrong one
    } cases[] = {
        {"xor with a key string",
         {"xor", "a.txt", "--key-string", "k"},
         0,
         "repeats every byte,",
         "XOR a.txt",
         [&] { return xorWithString(plain, "k"); }},
        {"xor undoes itself",
         {"xor", "XOR a.txt", "--key-string=k"},
         0,
         "wrote",
         "XOR XOR a.txt",
         [&] { return plain; }},
        {"xor with a short key file and --use",
         {"xor", "a.txt", "--key-file", "short.key", "--use", "100", "-o", "out"},
         0,
         "repeating key of 100 bytes",
         "out/XOR a.txt",
         [&] { return xorWithKeyFile(plain, shortKey, 100); }},
        {"a key string's own period",
         {"xor", "a.txt", "--key-string", "abc", "-o", "p"},
         0,
         "repeats every 3 bytes,",
         "p/XOR a.txt",
         nullptr},
        {"a short key repeated to the data's length",
         {"xor", "a.txt", "--key-file", "rep.key", "-o", "r"},
         0,
         "repeats every 16 bytes",
         "r/XOR a.txt",
         nullptr},
        {"a copy of the input as key",
         {"xor", "a.txt", "--key-file", "copy.key", "-o", "c"},
         0,
         "the input's own bytes",
         "c/XOR a.txt",
         [&] { return xorWithKeyFile(plain, plain, uint32_t(plain.size())); }},
        {"a key too short to test",
         {"xor", "small.txt", "--key-file", "small.key", "-o", "t"},
         0,
         "too short for a test",
         "t/XOR small.txt",
         nullptr},
        {"the default key",
         {"xor", "a.txt", "--key-string", "", "-o", "d"},
         0,
         "public default key",
         "d/XOR a.txt",
         [&] { return xorWithString(plain, ""); }},
        // Keyed in the window's code page (Western here), so the same typed key gives the same file.
        {"a key string in the code page",
         {"xor", "a.txt", "--key-string",
          "gr\xC3\xBC\xC3\x9F"
          "e",
          "-o", "w"},
         0,
         "wrote",
         "w/XOR a.txt",
         [&] {
             return xorWithString(plain, "gr\xFC\xDF"
                                         "e");
         }},
        {"a key string outside it",
         {"xor", "a.txt", "--key-string", "\xE6\x97\xA5", "-o", "n"},
         2,
         "code page",
         "",
         nullptr},
        // Every key the program's command line takes, with a word on the window that keeps fewer.
        {"a key string longer than the window keeps",
         {"xor", "a.txt", "--key-string", std::string(kKeyFieldBytes + 1, 'q'), "-o", "long"},
         0,
         "the window keeps",
         "long/XOR a.txt",
         nullptr},
        {"and back with it",
         {"xor", "long/XOR a.txt", "--key-string", std::string(kKeyFieldBytes + 1, 'q'), "-o", "long"},
         0,
         "wrote",
         "long/XOR XOR a.txt",
         [&] { return plain; }},
        {"the longest key string the command line takes",
         {"xor", "a.txt", "--key-string", std::string(kLongestKeyString, 'q'), "-o", "longest"},
         0,
         "the window keeps",
         "longest/XOR a.txt",
         [&] { return xorWithString(plain, std::string(kLongestKeyString, 'q')); }},
        {"a key string longer than the command line takes",
         {"xor", "a.txt", "--key-string", std::string(kLongestKeyString + 1, 'q'), "-o", "n"},
         2,
         "1039 bytes",
         "",
         nullptr},
        {"a name stored in the code page",
         {"encrypt", "M\xC3\xBCller.txt", "--key-string", "k", "-o", "m"},
         0,
         "wrote",
         "m/M\xC3\xBCller.qdx",
         nullptr},
        {"and read back", {"info", "m/M\xC3\xBCller.qdx"}, 0, "name:        M\xC3\xBCller.txt", "", nullptr},
        {"a pad",
         {"encrypt", "a.txt", "--key-file", "long.key", "--save-key-name", "--description", "Q3"},
         0,
         "one-time pad",
         "a.qdx",
         nullptr},
        {"info", {"info", "a.qdx"}, 0, "description: Q3", "", nullptr},
        {"info as JSON",
         {"info", "a.qdx", "--json"},
         0,
         "\"payloadBytes\": 70000, \"headerBytes\": 936}",
         "",
         nullptr},
        {"decrypt with the stored key file",
         {"decrypt", "a.qdx", "-o", "back"},
         0,
         "the container names",
         "back/a.txt",
         [&] { return plain; }},
        {"a key file of zeros: warned, --quiet or not",
         {"encrypt", "a.txt", "--key-file", "zeros.key", "-o", "z", "--quiet"},
         0,
         "the output would be the file itself",
         "z/a.qdx",
         nullptr},
        {"not random",
         {"xor", "a.txt", "--key-file", "zeros.key", "-o", "z"},
         0,
         "every byte of the key file is 0x00",
         "z/XOR a.txt",
         nullptr},
        {"decrypt with a key file given",
         {"decrypt", "z/a.qdx", "--key-file", "zeros.key", "-o", "zb"},
         0,
         "wrote",
         "zb/a.txt",
         [&] { return plain; }},
        {"analyse", {"analyse", "long.key", "--for", "a.txt"}, 0, "excellent keyfile", "", nullptr},
        {"keygen",
         {"keygen", "--for", "a.txt", "-o", "new.key"},
         0,
         "131072 random bytes",
         "new.key",
         nullptr},
        {"keygen, the longest name",
         {"keygen", "--size", "10", "-o", std::string(254, 'k')},
         0,
         "10 random bytes",
         std::string(254, 'k'),
         nullptr},
        // A stored name's escape sequence and line break never reach the terminal or a file name.
        {"a name with control characters",
         {"encrypt", "e\x1b]0;x\x07\n.txt", "--key-string", "k", "-o", "e"},
         0,
         "wrote e/e\\x1B]0;x\\x07\\x0A.qdx",
         "e/e\x1b]0;x\x07\n.qdx",
         nullptr},
        {"shown escaped",
         {"info", "e/e\x1b]0;x\x07\n.qdx"},
         0,
         "name:        e\\x1B]0;x\\x07\\x0A.txt",
         "",
         nullptr},
        {"restored without them",
         {"decrypt", "e/e\x1b]0;x\x07\n.qdx", "--key-string", "k", "-o", "eb"},
         0,
         "wrote eb/e_]0;x__.txt",
         "eb/e_]0;x__.txt",
         [&] { return plain; }},
        // Bad inputs.
        {"existing output kept", {"xor", "a.txt", "--key-string", "k"}, 4, "exists; --force", "", nullptr},
        {"output would be the input",
         {"encrypt", "a.qdx", "--key-string", "k", "--force"},
         4,
         "replace the input",
         "",
         nullptr},
        {"no such input",
         {"xor", "none.txt", "--key-string", "k"},
         1,
         "cannot read none.txt: No such file or directory",
         "",
         nullptr},
        {"the input as its own key",
         {"xor", "a.txt", "--key-file", "a.txt", "-o", "n"},
         2,
         "is the input itself",
         "",
         nullptr},
        {"the input as its own key through a link",
         {"xor", "a.txt", "--key-file", "link.key", "-o", "n"},
         2,
         "is the input itself",
         "",
         nullptr},
        {"a FIFO as key file",
         {"xor", "a.txt", "--key-file", "fifo.key", "-o", "n"},
         2,
         "not a regular file",
         "",
         nullptr},
        {"a key path a container cannot hold",
         {"encrypt", "a.txt", "--key-file", std::string(150, 'p') + "/" + std::string(150, 'q') + "/long.key",
          "--save-key-name", "-o", "n"},
         2,
         "longer than the 299 bytes",
         "",
         nullptr},
        {"standard input",
         {"xor", "-", "--key-string", "k"},
         64,
         "'-' (standard input or output) is not",
         "",
         nullptr},
        {"not a container", {"decrypt", "a.txt", "--key-string", "k"}, 1, "no container", "", nullptr},
        {"container cut short", {"info", "cut.qdx"}, 1, "no container", "", nullptr},
        {"no key file",
         {"xor", "a.txt", "--key-file", "none.key", "-o", "n"},
         2,
         "cannot open the key file",
         "",
         nullptr},
        {"empty key file",
         {"xor", "a.txt", "--key-file", "empty.key", "-o", "n"},
         2,
         "is empty",
         "",
         nullptr},
        {"--use beyond the key",
         {"xor", "a.txt", "--key-file", "short.key", "--use", "1001", "-o", "n"},
         2,
         "holds only 1000 bytes",
         "",
         nullptr},
        {"no key stored or given", {"decrypt", "z/a.qdx", "-o", "n"}, 2, "names no key file", "", nullptr},
        {"no terminal to ask",
         {"xor", "a.txt", "--key-prompt", "-o", "n"},
         2,
         "needs a terminal",
         "",
         nullptr},
        {"analyse an empty file",
         {"analyse", "empty.key"},
         2,
         "Cannot open Keyfile: empty.key: it is empty",
         "",
         nullptr},
        {"analyse a missing file",
         {"analyse", "missing.key"},
         2,
         "Cannot open Keyfile: missing.key: No such file or directory",
         "",
         nullptr},
        // mkdir's own reason, not the missing folder's (sysfs refuses new folders even to root).
        {"an output folder that cannot be made",
         {"xor", "a.txt", "--key-string", "k", "-o", "/sys/nimbrel-test"},
         4,
         "cannot create a file beside /sys/nimbrel-test/XOR a.txt: ",
         "",
         nullptr,
         nullptr,
         nullptr,
         -1,
         "No such file or directory"},
        {"an output name longer than a file name can be, refused before the pass",
         {"xor", std::string(253, 'n'), "--key-string", "k"},
         4,
         "is longer than a file name can be in the folder \".\"",
         "",
         nullptr},
        {"an input whose size says 0 while it holds bytes",
         {"xor", "/proc/self/status", "--key-string", "k", "-o", "."},
         1,
         "says it holds 0 bytes but holds more",
         "",
         nullptr},
        {"missing parent folder",
         {"xor", "a.txt", "--key-string", "k", "-o", "no/such"},
         4,
         "cannot create",
         "",
         nullptr},
        {"keygen over a key", {"keygen", "--size", "10", "-o", "long.key"}, 4, "exists", "", nullptr},
        {"no key", {"encrypt", "a.txt"}, 64, "needs a key", "", nullptr},
        {"two keys",
         {"xor", "a.txt", "--key-string", "k", "--key-file", "long.key"},
         64,
         "give one key",
         "",
         nullptr},
        {"unknown option", {"info", "a.qdx", "--force"}, 64, "not an option of info", "", nullptr},
        {"unknown command", {"scramble", "a.txt"}, 64, "unknown command", "", nullptr},
        {"two files", {"xor", "a.txt", "b.txt", "--key-string", "k"}, 64, "exactly one file", "", nullptr},
        {"--use with a string",
         {"xor", "a.txt", "--key-string", "k", "--use", "5"},
         64,
         "--use counts",
         "",
         nullptr},
        {"keygen without a size", {"keygen"}, 64, "one of --for", "", nullptr},
        {"help", {"xor", "--help"}, 0, "one-time pad", "", nullptr},
        {"help for a command", {"help", "keygen"}, 0, "Usage: nimbrel keygen", "", nullptr},
        {"the version from any command", {"decrypt", "--version"}, 0, "nimbrel 1.", "", nullptr},
        // Options only where an option can stand: a value is never one.
        {"a key string that looks like an option",
         {"xor", "a.txt", "--key-string", "--version", "-o", "opt"},
         0,
         "wrote",
         "opt/XOR a.txt",
         [&] { return xorWithString(plain, "--version"); }},
        // Standard output or error that cannot be written is a failure, said where it can be.
        {"info to a full disk",
         {"info", "a.qdx"},
         74,
         "cannot write to standard output: No space",
         "",
         nullptr,
         "/dev/full"},
        {"its JSON to a full disk",
         {"info", "a.qdx", "--json"},
         74,
         "No space left",
         "",
         nullptr,
         "/dev/full"},
        {"info with no standard output", {"info", "a.qdx"}, 74, "Bad file descriptor", "", nullptr, kClosed},
        {"analyse to a full disk", {"analyse", "long.key"}, 74, "No space left", "", nullptr, "/dev/full"},
        {"help to a full disk", {"--help"}, 74, "No space left", "", nullptr, "/dev/full"},
        {"the version with no standard output",
         {"--version"},
         74,
         "Bad file descriptor",
         "",
         nullptr,
         kClosed},
        {"a job with no standard error",
         {"xor", "a.txt", "--key-string", "k", "-o", "noerr"},
         74,
         "",
         "noerr/XOR a.txt",
         nullptr,
         nullptr,
         kClosed},
        // Names stored in three scripts come out of the JSON as the real text.
        {"a Western name",
         {"encrypt", "caf\xC3\xA9 \xE2\x82\xAC.txt", "--key-string", "k", "-o", "j"},
         0,
         "wrote",
         "j/caf\xC3\xA9 \xE2\x82\xAC.qdx",
         nullptr},
        {"in the JSON",
         {"info", "j/caf\xC3\xA9 \xE2\x82\xAC.qdx", "--json"},
         0,
         "{\"name\": \"caf\xC3\xA9 \xE2\x82\xAC.txt\"",
         "",
         nullptr},
        {"a Japanese name",
         {"encrypt", "\xE6\x97\xA5\xE6\x9C\xAC.txt", "--key-string", "k", "-o", "j"},
         0,
         "wrote",
         "j/\xE6\x97\xA5\xE6\x9C\xAC.qdx",
         nullptr},
        {"in the JSON",
         {"info", "j/\xE6\x97\xA5\xE6\x9C\xAC.qdx", "--json"},
         0,
         "{\"name\": \"\xE6\x97\xA5\xE6\x9C\xAC.txt\"",
         "",
         nullptr},
        {"a Greek name",
         {"encrypt", "\xCE\xA9\xCE\xBC.txt", "--key-string", "k", "-o", "j"},
         0,
         "wrote",
         "j/\xCE\xA9\xCE\xBC.qdx",
         nullptr},
        {"in the JSON",
         {"info", "j/\xCE\xA9\xCE\xBC.qdx", "--json"},
         0,
         "{\"name\": \"\xCE\xA9\xCE\xBC.txt\"",
         "",
         nullptr},
        {"bytes that are no character", {"info", "garbled.qdx", "--json"}, 0, "shown as U+FFFD", "", nullptr},
        // A container that names a key file the user alone may read gives a plaintext no one else may.
        {"sealed with a private key",
         {"encrypt", "a.txt", "--key-file", "private.key", "--save-key-name", "-o", "sealed"},
         0,
         "wrote",
         "sealed/a.qdx",
         nullptr},
        {"opened with the key it names",
         {"decrypt", "sealed/a.qdx", "-o", "opened"},
         0,
         "using the key file the container names",
         "opened/a.txt",
         [&] { return plain; },
         nullptr,
         nullptr,
         0600},
    };
    writeBytes(f / "a.txt", plain);
    writeBytes(f / "M\xC3\xBCller.txt", plain);
    for (const char* name :
         {"caf\xC3\xA9 \xE2\x82\xAC.txt", "\xE6\x97\xA5\xE6\x9C\xAC.txt", "\xCE\xA9\xCE\xBC.txt"}) {
        writeBytes(f / name, pattern(100, 1));
    }
    writeBytes(f / "private.key", randomish(80000, 21));
    chmod((f / "private.key").c_str(), 0600);
    writeBytes(f / "long.key", longKey);
    writeBytes(f / "short.key", shortKey);
    writeBytes(f / "zeros.key", zeros);
    writeBytes(f / "empty.key", {});
    writeBytes(f / "cut.qdx", Bytes{'Z', 'E', 'V', 'K', '1', '3', '0', '0', 'a'});
    writeBytes(f / "rep.key", [] {
        Bytes unit = randomish(16, 11), key(80000);
        for (size_t i = 0; i < key.size(); ++i) {
            key[i] = unit[i % 16];
        }
        return key;
    }());
    writeBytes(f / "copy.key", plain);
    writeBytes(f / std::string(253, 'n'), plain); // "XOR " makes 257 bytes of it
    writeBytes(f / "small.txt", pattern(500, 1));
    writeBytes(f / "small.key", randomish(600, 12));
    writeBytes(f / "e\x1b]0;x\x07\n.txt", plain);
    ASSERT_EQ(link((f / "a.txt").c_str(), (f / "link.key").c_str()), 0);
    ASSERT_EQ(mkfifo((f / "fifo.key").c_str(), 0600), 0);
    std::string deep = f / std::string(150, 'p');
    mkdir(deep.c_str(), 0700);
    mkdir((deep + "/" + std::string(150, 'q')).c_str(), 0700);
    writeBytes(deep + "/" + std::string(150, 'q') + "/long.key", longKey);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::set<std::string> before = entries(f.path);
        std::map<std::string, Bytes> kept;
        for (const std::string& n : before) {
            kept[n] = readBytes(f / n);
        }
        if (std::string(c.what) == "bytes that are no character") {
            // A stored name with a byte that is no character in the Western code page.
            Bytes container = readBytes(f / "a.qdx");
            const std::string bytes(container.begin(), container.end());
            container[bytes.find("a.txt")] = 0x81;
            writeBytes(f / "garbled.qdx", container);
            kept["garbled.qdx"] = container;
            before.insert("garbled.qdx");
        }
        ToolRun r = runTool(f.path, c.args, 0, NIMBREL_TOOL, c.out, c.err);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.mode >= 0) {
            struct stat made;
            ASSERT_EQ(stat((f / c.writes).c_str(), &made), 0);
            EXPECT_EQ(int(made.st_mode & 0777), c.mode);
        }
        EXPECT_NE((r.err + r.out).find(c.says), std::string::npos) << r.err << r.out;
        if (c.notSays) {
            EXPECT_EQ(r.err.find(c.notSays), std::string::npos) << r.err;
        }
        if (std::string(c.says).empty() && !c.err) {
            EXPECT_EQ(r.err, "");
        }
        std::string written = c.writes;
        std::set<std::string> after = entries(f.path);
        if (!written.empty()) {
            std::string top = written.substr(0, written.find('/'));
            if (!before.count(top)) {
                after.erase(top);
            }
            if (c.expected) {
                EXPECT_EQ(readBytes(f / written), c.expected());
            }
        }
        EXPECT_EQ(after, before) << "files appeared or went";
        for (const std::string& n : before) {
            if (n != written) {
                EXPECT_EQ(readBytes(f / n), kept[n]) << n << " changed";
            }
        }
    }
    for (const char* folder : {"", "out", "d", "back", "z", "zb", "p", "r", "c", "t", "e", "eb"}) {
        for (const std::string& n : entries(f / folder)) {
            EXPECT_EQ(n.find(".tmp"), std::string::npos) << "left behind: " << folder << "/" << n;
        }
    }
    struct stat st;
    ASSERT_EQ(stat((f / "new.key").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 131072);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(readBytes(f / "new.key"), Bytes(131072, 0));
}

// The ledger in the user's data folder on POSIX, over data of more than one chunk: the job's
// own fingerprints must match those taken before it, or the same data again would be refused.
// What the ledger cannot vouch for is refused unless allowed, and said even with --quiet.
TEST(ConsoleTool, AKeyFileThatEncryptedOtherDataIsRefusedUnlessAllowed) {
    Folder f;
    const size_t size = 25000003;
    writeBytes(f / "a", randomish(size, 1));
    writeBytes(f / "b", randomish(size, 2));
    writeBytes(f / "pad", randomish(size + 5, 3));
    const std::string ledger = f.root + "/data/nimbrel/KeyLedger.txt";
    writeBytes(f / "c", randomish(100, 4));
    writeBytes(f / "pad2", randomish(100, 5));
    const auto damage = [&] { std::ofstream(ledger, std::ios::app) << "2026-13-45 not a line\r\n"; };
    const auto folderInItsPlace = [&] {
        std::remove(ledger.c_str());
        mkdir(ledger.c_str(), 0700);
    };
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* says;
        size_t ledgerLines;
        std::function<void()> prepare = nullptr;
    } cases[] = {
        {"first use", {"xor", "a", "--key-file", "pad", "-o", "1"}, 0, "one-time pad", 2},
        {"the same data again", {"xor", "a", "--key-file", "pad", "-o", "2"}, 0, "one-time pad", 2},
        {"decryption", {"xor", "1/XOR a", "--key-file", "pad", "-o", "3"}, 0, "wrote", 2},
        {"other data", {"xor", "b", "--key-file", "pad", "-o", "4", "--quiet"}, 2, "the key drops out", 2},
        {"other data, allowed",
         {"encrypt", "b", "--key-file", "pad", "--allow-key-reuse", "-o", "5"},
         0,
         "warning: This key file has already encrypted other data",
         3},
        {"a damaged ledger",
         {"xor", "c", "--key-file", "pad2", "-o", "6"},
         2,
         "1 line that cannot be read",
         4,
         damage},
        {"a damaged ledger, allowed",
         {"xor", "c", "--key-file", "pad2", "-o", "6", "--allow-key-reuse", "--quiet"},
         0,
         "KeyLedger.damaged.txt",
         4},
        {"a ledger that cannot be read",
         {"xor", "c", "--key-file", "pad2", "-o", "7"},
         2,
         "cannot be read",
         0,
         folderInItsPlace},
        {"a ledger that cannot be read, allowed",
         {"xor", "c", "--key-file", "pad2", "-o", "8", "--allow-key-reuse"},
         0,
         "warning: The key-use ledger",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.prepare) {
            c.prepare();
        }
        const std::string before = slurp(ledger);
        ToolRun r = runTool(f.path, c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        const std::string lines = slurp(ledger);
        EXPECT_EQ(size_t(std::count(lines.begin(), lines.end(), '\n')), c.ledgerLines);
        if (c.status != 0) {
            EXPECT_EQ(lines, before); // a refused job changes nothing
        }
    }
    EXPECT_EQ(readBytes(f / "3/XOR XOR a"), readBytes(f / "a"));
    EXPECT_TRUE(entries(f / "4").empty());
    EXPECT_TRUE(entries(f / "7").empty());
    EXPECT_EQ(readBytes(f / "8/XOR c").size(), 100u);
    // The damaged ledger is kept whole beside the one that went on without its damaged line.
    EXPECT_NE(slurp(f.root + "/data/nimbrel/KeyLedger.damaged.txt").find("not a line"), std::string::npos);

    // Two runs started together with one fresh pad on two different files: exactly one encrypts,
    // whichever takes the ledger first, and the other is refused.
    std::remove(ledger.c_str());
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const std::string pad = "race" + std::to_string(round);
        writeBytes(f / pad, randomish(size + 5, 10 + round));
        StartedTool one =
            startTool(f.path, {"xor", "a", "--key-file", pad, "-o", pad + "a"}, 0, NIMBREL_TOOL, "1");
        StartedTool two =
            startTool(f.path, {"xor", "b", "--key-file", pad, "-o", pad + "b"}, 0, NIMBREL_TOOL, "2");
        const ToolRun runs[] = {finishTool(one), finishTool(two)};
        EXPECT_EQ(int(runs[0].status == 0) + int(runs[1].status == 0), 1) << runs[0].err << runs[1].err;
        for (const ToolRun& r : runs) {
            if (r.status != 0) {
                EXPECT_EQ(r.status, 2) << r.err;
                EXPECT_TRUE(r.err.find("being used right now by another job") != std::string::npos ||
                            r.err.find("already encrypted other data") != std::string::npos)
                    << r.err;
            }
        }
        EXPECT_EQ(entries(f / (pad + "a")).size() + entries(f / (pad + "b")).size(), 1u);
    }

    // A ledger that is a symbolic link is kept where it leads, and keeps the mode it was given.
    const std::string shared = f.root + "/shared-ledger.txt";
    ASSERT_EQ(std::rename(ledger.c_str(), shared.c_str()), 0);
    ASSERT_EQ(symlink(shared.c_str(), ledger.c_str()), 0);
    ASSERT_EQ(chmod(shared.c_str(), 0640), 0);
    const std::string linked = slurp(shared);
    writeBytes(f / "e", randomish(100, 6));
    writeBytes(f / "pad3", randomish(100, 7));
    EXPECT_EQ(runTool(f.path, {"xor", "e", "--key-file", "pad3", "-o", "9"}).status, 0);
    struct stat st;
    ASSERT_EQ(lstat(ledger.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    const std::string after = slurp(shared);
    EXPECT_EQ(after.substr(0, linked.size()), linked);
    EXPECT_EQ(std::count(after.begin(), after.end(), '\n'),
              std::count(linked.begin(), linked.end(), '\n') + 1);
}

// A tool killed half-way (by the file size limit, which no handler sees, or by SIGKILL at any
// moment) leaves nothing anyone else can read. On Linux the output has no name until it is
// complete; where the system cannot make it so (NIMBREL_NO_TMPFILE takes that road here), it is
// a temporary name its owner alone may read until it is flushed and named.
TEST(ConsoleTool, AToolKilledMidJobLeavesNothingAnyoneElseCanRead) {
    Folder f;
    const Bytes big = pattern(20 << 20, 5);
    writeBytes(f / "big.txt", big);
    struct Row {
        const char* what;
        bool unnamed;
        rlim_t limit;      // stopped by the file size limit, or
        useconds_t killAt; // killed this long after its start
    } rows[] = {
        {"unnamed, stopped half-way", true, 10 << 20, 0},
        {"named, stopped half-way", false, 10 << 20, 0},
        {"named, stopped at its last byte", false, (20 << 20) - 1, 0},
        {"named, killed early", false, 0, 20000},
        {"named, killed later", false, 0, 60000},
        {"named, killed later still", false, 0, 120000},
        {"named, killed near its end", false, 0, 200000},
    };
    int round = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string out = "out" + std::to_string(++round);
        if (!row.unnamed) {
            setenv("NIMBREL_NO_TMPFILE", "1", 1);
        }
        StartedTool run = startTool(f.path, {"xor", "big.txt", "--key-string", "k", "-o", out}, row.limit);
        unsetenv("NIMBREL_NO_TMPFILE");
        if (row.killAt) {
            usleep(row.killAt);
            kill(run.pid, SIGKILL);
        }
        ToolRun r = finishTool(run);
        for (const std::string& name : entries(f / out)) {
            struct stat st;
            ASSERT_EQ(stat((f / (out + "/" + name)).c_str(), &st), 0);
            if (name == "XOR big.txt") {
                EXPECT_EQ(readBytes(f / (out + "/" + name)).size(), big.size())
                    << "a partial output under its name";
            } else {
                EXPECT_EQ(name.rfind("nbr", 0), 0u) << name;
                EXPECT_EQ(st.st_mode & 0077, 0u) << name << " may be read by others";
            }
        }
        if (row.limit) {
            EXPECT_EQ(r.status, 200) << "the tool was not stopped: " << r.err;
            EXPECT_EQ(entries(f / out).count("XOR big.txt"), 0u);
            EXPECT_EQ(entries(f / out).empty(), row.unnamed);
        }
    }
}

// The messages name the tool as the user called it: on Windows that is nimbrel-cli.
TEST(ConsoleTool, MessagesNameTheToolAsItWasCalled) {
    Folder f;
    ToolRun r = runTool(f.path, {"xor", "none.txt", "--key-string", "k"}, 0, "C:\\Tools\\NIMBREL-CLI.EXE");
    EXPECT_EQ(r.err.rfind("NIMBREL-CLI: cannot read none.txt", 0), 0u) << r.err;
}

// Reads what the terminal shows until `text` appears; false after a few seconds without it.
bool waitFor(int master, const std::string& text, std::string& shown) {
    for (int i = 0; i < 500 && shown.find(text) == std::string::npos; ++i) {
        char buffer[256];
        ssize_t got = read(master, buffer, sizeof buffer);
        if (got > 0) {
            shown.append(buffer, size_t(got));
        } else {
            usleep(10000);
        }
    }
    return shown.find(text) != std::string::npos;
}

TEST(ConsoleTool, KeyPromptAsksTwiceOnTheTerminalWithoutEcho) {
    Folder f;
    const Bytes plain = pattern(5000, 4);
    writeBytes(f / "a.txt", plain);
    for (bool same : {true, false}) {
        SCOPED_TRACE(same ? "the same key twice" : "two different keys");
        int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        std::string slave = ptsname(master);
        pid_t pid = fork();
        if (pid == 0) {
            setsid();
            int tty = open(slave.c_str(), O_RDWR); // becomes the controlling terminal
            int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(tty, 2);
            if (chdir(f.path.c_str()) != 0) {
                _exit(127);
            }
            execl(NIMBREL_TOOL, NIMBREL_TOOL, "xor", "a.txt", "--key-prompt", static_cast<char*>(nullptr));
            _exit(127);
        }
        fcntl(master, F_SETFL, O_NONBLOCK);
        std::string shown;
        ASSERT_TRUE(waitFor(master, "Key: ", shown)) << shown;
        ASSERT_EQ(write(master, "s3cret\n", 7), 7);
        ASSERT_TRUE(waitFor(master, "Key again: ", shown)) << shown;
        ASSERT_EQ(write(master, same ? "s3cret\n" : "s3cre7\n", 7), 7);
        int status = 0;
        waitpid(pid, &status, 0);
        waitFor(master, "\n", shown);
        close(master);
        EXPECT_EQ(shown.find("s3cre"), std::string::npos) << "the key was echoed: " << shown;
        ASSERT_TRUE(WIFEXITED(status));
        if (same) {
            EXPECT_EQ(WEXITSTATUS(status), 0) << shown;
            EXPECT_EQ(readBytes(f / "XOR a.txt"), xorWithString(plain, "s3cret"));
            unlink((f / "XOR a.txt").c_str());
        } else {
            EXPECT_EQ(WEXITSTATUS(status), 2) << shown;
            EXPECT_EQ(entries(f.path), std::set<std::string>{"a.txt"});
        }
    }
}

} // namespace
