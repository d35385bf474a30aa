#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "keys/keystore.h"
#include "text/text.h"

namespace {

using Status = KeyStoreStatus;

Status only(KeyStoreState state) {
    return Status{state, 0};
}

Status sized(uint32_t bytes) {
    return Status{KeyStoreState::Ready, bytes};
}

TEST(KeyStoreStatusRules, MeasuredStoreAndPadGiveTheStatus) {
    struct Case {
        const char* what;
        bool storeOpened;
        uint32_t storeSize;
        bool padOpened;
        uint32_t padSize;
        Status expected;
    } cases[] = {
        {"no store, no pad", false, 0, false, 0, only(KeyStoreState::NoPad)},
        {"no store, pad of 1,023", false, 0, true, 1023, only(KeyStoreState::PadTooSmall)},
        {"no store, empty pad", false, 0, true, 0, only(KeyStoreState::PadTooSmall)},
        {"no store, pad of 1,024", false, 0, true, 1024, only(KeyStoreState::NotSetUp)},
        {"no store, large pad", false, 0, true, 0xFFFFFFFFu, only(KeyStoreState::NotSetUp)},
        {"empty store", true, 0, false, 0, only(KeyStoreState::Empty)},
        // Small sizes that equal the other states' values are still an empty store.
        {"store of 3 bytes", true, 3, true, 5000, only(KeyStoreState::Empty)},
        {"store of 5 bytes", true, 5, false, 0, only(KeyStoreState::Empty)},
        {"store of 1,023", true, 1023, true, 5000, only(KeyStoreState::Empty)},
        {"store of 1,024", true, 1024, false, 0, sized(1024)},
        {"the store decides alone", true, 10000, true, 50, sized(10000)},
        {"largest store", true, 0xFFFFFFFFu, false, 0, sized(0xFFFFFFFFu)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(measuredKeyStoreStatus(c.storeOpened, c.storeSize, c.padOpened, c.padSize), c.expected)
            << c.what;
    }
}

TEST(KeyStoreStatusRules, StoreSizeAfterAFillOrDraw) {
    struct Case {
        uint32_t storeSize;
        Status expected;
        bool ready;
        uint32_t size;
    } cases[] = {
        {0, only(KeyStoreState::Empty), false, 0},
        {10, only(KeyStoreState::Empty), false, 0},
        {600, only(KeyStoreState::Empty), false, 0},
        {1023, only(KeyStoreState::Empty), false, 0},
        {1024, sized(1024), true, 1024},
        {5904, sized(5904), true, 5904},
    };
    for (const Case& c : cases) {
        Status status = statusForStoreSize(c.storeSize);
        EXPECT_EQ(status, c.expected) << c.storeSize;
        EXPECT_EQ(status.state == KeyStoreState::Ready, c.ready) << c.storeSize;
        EXPECT_EQ(status.size, c.size) << c.storeSize;
    }
}

TEST(KeyStoreStatusRules, PadFilesCountFromTheMinimum) {
    EXPECT_FALSE(padFileUsable(0));
    EXPECT_FALSE(padFileUsable(1023));
    EXPECT_TRUE(padFileUsable(1024));
}

TEST(KeyStoreDraw, TakesTheKeyLengthButNoMoreThanTheStore) {
    struct Case {
        uint32_t inputSize, storeSize, drawn;
    } cases[] = {
        {3000, 10000, 4096}, // the store keeps its last 5,904 bytes
        {3000, 3000, 3000},  // too small: all of it
        {0, 5000, 2},
        {1024, 2048, 2048},
        {1024, 2047, 2047},
        {1000, 1024, 1024},
        {0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000000u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(keyStoreDrawLength(c.inputSize, c.storeSize), c.drawn)
            << c.inputSize << " from " << c.storeSize;
    }
}

TEST(KeyStorePaths, FollowTheApplicationDataFolder) {
    const char* appData = "C:\\users\\me\\AppData\\Roaming";
    struct Case {
        const char* tail;
        const char* expected;
    } cases[] = {
        {kKeyStoreFolder, "C:\\users\\me\\AppData\\Roaming\\Orvensoft\\Random"},
        {kPadFileFirstPlace, "C:\\users\\me\\AppData\\Roaming\\Orvensoft\\Padforge\\PAD.txt"},
        {kPadFileSecondPlace, "C:\\users\\me\\AppData\\Roaming\\Vostra\\Padforge\\PAD.txt"},
    };
    for (const Case& c : cases) {
        char path[kTextCapacity];
        ASSERT_TRUE(keyStorePath(appData, c.tail, path, sizeof path));
        EXPECT_STREQ(path, c.expected);
    }
    char store[kTextCapacity];
    ASSERT_TRUE(keyStoreFilePath(appData, store, sizeof store));
    EXPECT_STREQ(store, "C:\\users\\me\\AppData\\Roaming\\Orvensoft\\Random\\keyblock.txt");

    // A folder that leaves no room is refused, the buffer untouched.
    std::string deep(kTextCapacity - 20, 'd');
    char path[kTextCapacity] = "unchanged";
    EXPECT_FALSE(keyStoreFilePath(deep.c_str(), path, sizeof path));
    EXPECT_STREQ(path, "unchanged");
    EXPECT_FALSE(keyStorePath(deep.c_str(), kPadFileFirstPlace, path, sizeof path));
    EXPECT_STREQ(path, "unchanged");
    char exact[sizeof "C:\\Orvensoft\\Random"];
    EXPECT_TRUE(keyStorePath("C:", kKeyStoreFolder, exact, sizeof exact));
    EXPECT_FALSE(keyStorePath("C:", kKeyStoreFolder, exact, sizeof exact - 1));
}

// A store, two pad places and the user's answers, behind the four actions of the button.
struct FakeKeyStore {
    bool storeExists = false;
    bool storeCreatable = true;
    uint32_t storeSize = 0;
    bool padExists = false;
    uint32_t padSize = 0;
    uint32_t inputSize = 0;
    std::vector<bool> answers;
    size_t nextAnswer = 0;
    std::vector<std::string> events;
    uint32_t lastKeyFile = 0;
    Status* status = nullptr;

    static bool ask(void* context, const KeyStorePrompt& prompt) {
        auto* f = static_cast<FakeKeyStore*>(context);
        f->events.push_back(std::string(prompt.text) + " [" + prompt.yesText + "/" + prompt.noText + "]");
        if (f->nextAnswer >= f->answers.size()) {
            ADD_FAILURE() << "unexpected prompt: " << prompt.text;
            return false;
        }
        return f->answers[f->nextAnswer++];
    }
    static Status fill(void* context) {
        auto* f = static_cast<FakeKeyStore*>(context);
        f->events.push_back("fill");
        if (!f->storeExists && !f->storeCreatable) {
            return *f->status;
        }
        f->storeExists = true;
        if (f->padExists && padFileUsable(f->padSize)) {
            f->storeSize += f->padSize;
            f->padSize = 0;
        }
        return statusForStoreSize(f->storeSize);
    }
    static Status draw(void* context) {
        auto* f = static_cast<FakeKeyStore*>(context);
        f->events.push_back("draw");
        f->lastKeyFile = keyStoreDrawLength(f->inputSize, f->storeSize);
        f->storeSize -= f->lastKeyFile;
        return statusForStoreSize(f->storeSize);
    }
    static void openReadMe(void* context) { static_cast<FakeKeyStore*>(context)->events.push_back("readme"); }

    Status startUp() const { return measuredKeyStoreStatus(storeExists, storeSize, padExists, padSize); }
    void press(Status& s) {
        status = &s;
        nextAnswer = 0;
        events.clear();
        KeyStoreActions actions{this, ask, fill, draw, openReadMe};
        runKeyStoreCommand(s, inputSize, actions);
        EXPECT_EQ(nextAnswer, answers.size()) << "answers left over";
    }
};

// A store of storeSize bytes and a pad of padSize bytes; kNone for either that is missing.
constexpr int64_t kNone = -1;
FakeKeyStore keyStoreOf(int64_t storeSize, int64_t padSize, uint32_t inputSize, bool storeCreatable = true) {
    FakeKeyStore f;
    f.storeExists = storeSize != kNone;
    f.storeSize = storeSize == kNone ? 0 : uint32_t(storeSize);
    f.padExists = padSize != kNone;
    f.padSize = padSize == kNone ? 0 : uint32_t(padSize);
    f.inputSize = inputSize;
    f.storeCreatable = storeCreatable;
    return f;
}

std::string prompt(const char* text, const char* yes, const char* no) {
    return std::string(text) + " [" + yes + "/" + no + "]";
}
const std::string kSetUp = prompt(kKeyStoreSetUpText, "Setup KeyStore now", "Don't do this");
const std::string kNoPad = prompt(kKeyStoreNoPadText, "OK", "Open ReadMe");
const std::string kPadTooSmall = prompt(kKeyStorePadTooSmallText, "OK", "Open ReadMe");
const std::string kIsEmpty = prompt("KeyStore is empty", "OK", "Open ReadMe");
const std::string kEnough = prompt(kKeyStoreEnoughText, "Generate", "Cancel");
const std::string kTooSmall = prompt(kKeyStoreTooSmallText, "Generate", "Cancel");

TEST(KeyStoreCommand, OffersWarnsAndDrawsAsTheStoreAllows) {
    struct Case {
        const char* what;
        FakeKeyStore store;
        std::vector<bool> answers;
        std::vector<std::string> events;
        Status after;
        uint32_t storeAfter, padAfter, keyFile;
    } cases[] = {
        {"no store, no pad",
         keyStoreOf(kNone, kNone, 0),
         {true},
         {kNoPad},
         only(KeyStoreState::NoPad),
         0,
         0,
         0},
        {"the advice's lower button opens the ReadMe",
         keyStoreOf(kNone, kNone, 0),
         {false},
         {kNoPad, "readme"},
         only(KeyStoreState::NoPad),
         0,
         0,
         0},
        {"a pad of 1,023 bytes",
         keyStoreOf(kNone, 1023, 0),
         {true},
         {kPadTooSmall},
         only(KeyStoreState::PadTooSmall),
         0,
         1023,
         0},
        {"a pad of 1,024 bytes, set-up declined",
         keyStoreOf(kNone, 1024, 0),
         {false},
         {kSetUp},
         only(KeyStoreState::NotSetUp),
         0,
         1024,
         0},
        {"set-up with 5,000 bytes goes straight on to the offer",
         keyStoreOf(kNone, 5000, 3000),
         {true, true},
         {kSetUp, "fill", kEnough, "draw"},
         only(KeyStoreState::Empty),
         904,
         0,
         4096},
        {"a set-up that cannot create the store ends silently",
         keyStoreOf(kNone, 5000, 0, false),
         {true},
         {kSetUp, "fill"},
         only(KeyStoreState::NotSetUp),
         0,
         5000,
         0},
        {"store of 10,000, input of 3,000",
         keyStoreOf(10000, kNone, 3000),
         {true},
         {kEnough, "draw"},
         sized(5904),
         5904,
         0,
         4096},
        {"cancel changes nothing",
         keyStoreOf(10000, kNone, 3000),
         {false},
         {kEnough},
         sized(10000),
         10000,
         0,
         0},
        {"store of 3,000, no pad, input of 3,000",
         keyStoreOf(3000, kNone, 3000),
         {true},
         {"fill", kTooSmall, "draw"},
         only(KeyStoreState::Empty),
         0,
         0,
         3000},
        {"a short store is topped up before the offer",
         keyStoreOf(2000, 5000, 3000),
         {true},
         {"fill", kEnough, "draw"},
         sized(2904),
         2904,
         0,
         4096},
        {"a draw leaving 600 bytes",
         keyStoreOf(4696, kNone, 3000),
         {true},
         {kEnough, "draw"},
         only(KeyStoreState::Empty),
         600,
         0,
         4096},
        {"an exact fit needs no top-up",
         keyStoreOf(4096, 9999, 3000),
         {true},
         {kEnough, "draw"},
         only(KeyStoreState::Empty),
         0,
         9999,
         4096},
        {"a pad too small to top up",
         keyStoreOf(2000, 1000, 3000),
         {false},
         {"fill", kTooSmall},
         sized(2000),
         2000,
         1000,
         0},
        {"an empty store only says so",
         keyStoreOf(600, 5000, 0),
         {true},
         {kIsEmpty},
         only(KeyStoreState::Empty),
         600,
         5000,
         0},
    };
    for (Case& c : cases) {
        FakeKeyStore store = c.store;
        store.answers = c.answers;
        Status status = store.startUp();
        store.press(status);
        EXPECT_EQ(store.events, c.events) << c.what;
        EXPECT_EQ(status, c.after) << c.what;
        EXPECT_EQ(store.storeSize, c.storeAfter) << c.what;
        EXPECT_EQ(store.padSize, c.padAfter) << c.what;
        EXPECT_EQ(store.lastKeyFile, c.keyFile) << c.what;
    }
}

TEST(KeyStoreCommand, AStoreDrawnEmptySaysSoOnTheNextPress) {
    FakeKeyStore store = keyStoreOf(3000, kNone, 3000);
    store.answers = {true};
    Status status = store.startUp();
    store.press(status);
    ASSERT_EQ(status, only(KeyStoreState::Empty));
    store.answers = {true};
    store.press(status);
    EXPECT_EQ(store.events, std::vector<std::string>{kIsEmpty});
}

TEST(KeyStoreCommand, AdviceExistsOnlyForStatusesWithoutData) {
    struct Case {
        Status status;
        const char* text;
    } cases[] = {
        {only(KeyStoreState::NoPad), kKeyStoreNoPadText},
        {only(KeyStoreState::PadTooSmall), kKeyStorePadTooSmallText},
        {only(KeyStoreState::Empty), kKeyStoreEmptyText},
        {only(KeyStoreState::NotSetUp), nullptr},
        {sized(1024), nullptr},
        {sized(0xFFFFFFFFu), nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(keyStoreAdviceText(c.status), c.text) << uint32_t(c.status.state);
    }
}

// The journal is read back at start-up from whatever is on disk: only a whole record of a known
// change counts, and a draw's record can name nothing but a temporary key file to remove.
TEST(KeyStoreJournalRecord, OnlyAWholeKnownRecordIsRead) {
    KeyStoreJournal fill{KeyStoreChange::FillAppending, 1, 0x123456789ull, 5000, ""};
    KeyStoreJournal draw{KeyStoreChange::Draw, 0, 0, 0, "C:\\out\\nbk3A7F.TMP"};
    uint8_t bytes[kJournalBytes];
    KeyStoreJournal read{};
    encodeKeyStoreJournal(fill, bytes);
    ASSERT_TRUE(decodeKeyStoreJournal(bytes, sizeof bytes, read));
    EXPECT_EQ(read.change, KeyStoreChange::FillAppending);
    EXPECT_EQ(read.padPlace, 1u);
    EXPECT_EQ(read.storeSize, 0x123456789ull);
    EXPECT_EQ(read.length, 5000u);
    EXPECT_FALSE(decodeKeyStoreJournal(bytes, sizeof bytes - 1, read)) << "cut short";
    bytes[kJournalChangeOffset] = uint8_t(KeyStoreChange::FillAppended);
    ASSERT_TRUE(decodeKeyStoreJournal(bytes, sizeof bytes, read)) << "the mark rewrites one field";
    EXPECT_EQ(read.change, KeyStoreChange::FillAppended);
    bytes[kJournalChangeOffset] = 7;
    EXPECT_FALSE(decodeKeyStoreJournal(bytes, sizeof bytes, read)) << "unknown change";
    bytes[kJournalChangeOffset] = 1;
    bytes[0] = 'X';
    EXPECT_FALSE(decodeKeyStoreJournal(bytes, sizeof bytes, read)) << "no signature";

    encodeKeyStoreJournal(draw, bytes);
    ASSERT_TRUE(decodeKeyStoreJournal(bytes, sizeof bytes, read));
    EXPECT_STREQ(read.draft, "C:\\out\\nbk3A7F.TMP");
    EXPECT_EQ(keyDraftDrive(read.draft), 'C');
    // Recovery never reaches out to a network share or a device for a draft.
    for (const char* remote : {"\\\\server\\share\\nbk3A7F.tmp", "\\\\?\\C:\\out\\nbk3A7F.tmp",
                               "\\\\.\\C:\\nbk3A7F.tmp", "C:nbk3A7F.tmp", "\\out\\nbk3A7F.tmp"}) {
        EXPECT_EQ(keyDraftDrive(remote), '\0') << remote;
    }
    for (const char* other : {"C:\\out\\KeyFile.txt", "C:\\out\\report.tmp", "nbk1.tmp", ""}) {
        copyText(other, draw.draft);
        encodeKeyStoreJournal(draw, bytes);
        EXPECT_FALSE(decodeKeyStoreJournal(bytes, sizeof bytes, read)) << other;
    }
}

} // namespace
