// The KeyStore: a local pool of pad data in the user's application-data folder, fed from the pad
// file that Padforge leaves and drawn from, front first, for key files. These are its rules and
// texts; the files themselves are handled by the Windows layer.
#pragma once

#include <cstddef>
#include <cstdint>

// The status is one 32-bit value: one of the four states below, or, from Ready (1024) up, the
// store's size in bytes. It never holds a size below 1024.
enum class KeyStoreStatus : uint32_t {
    NoPad = 0,       // no store, no pad file in either place
    PadTooSmall = 3, // no store, a pad file below the minimum
    NotSetUp = 5,    // no store, a pad file of at least the minimum
    Empty = 10,      // a store below the minimum
    Ready = 1024,    // the least store size that counts
};

// Stores and pad files of fewer bytes count as empty.
constexpr uint32_t kKeyStoreMinimum = 1024;

// Below the application-data folder.
inline constexpr char kKeyStoreFolder[] = "\\Orvensoft\\Random";
inline constexpr char kKeyStoreFileName[] = "\\keyblock.txt";
inline constexpr char kPadFileFirstPlace[] = "\\Orvensoft\\Padforge\\PAD.txt";
inline constexpr char kPadFileSecondPlace[] = "\\Vostra\\Padforge\\PAD.txt";

inline constexpr char kKeyStoreSetUpText[] =
    "KeyStore is not set up yet. KeyStore allows you to easily use the output from Vostra Computing key file "
    "makers, including Padforge.";
inline constexpr char kKeyStoreSetUpYes[] = "Setup KeyStore now";
inline constexpr char kKeyStoreSetUpNo[] = "Don't do this";
inline constexpr char kKeyStoreNoPadText[] =
    "No Pad file found in KeyStore or in Padforge data store. Padforge is either not installed or not set up "
    "to make Pad files.";
inline constexpr char kKeyStorePadTooSmallText[] =
    "No Pad file found in KeyStore and Padforge Pad file is too small at the moment for usage.";
inline constexpr char kKeyStoreEmptyText[] = "KeyStore is empty";
inline constexpr char kKeyStoreAdviceYes[] = "OK";
inline constexpr char kKeyStoreAdviceNo[] = "Open ReadMe";
inline constexpr char kKeyStoreTooSmallText[] =
    "The KeyStore data is too small for your file. If you use the KeyStore your file will not be as securely "
    "encrypted. Use anyway?";
inline constexpr char kKeyStoreEnoughText[] =
    "The KeyStore has enough data for your file. KeyFile will be generated and moved to the output directory.";
inline constexpr char kKeyStoreDrawYes[] = "Generate";
inline constexpr char kKeyStoreDrawNo[] = "Cancel";

bool isKeyStoreReady(KeyStoreStatus status);
// The store's size in bytes when Ready, otherwise 0.
uint32_t keyStoreSize(KeyStoreStatus status);

// The status of a store measured at storeSize bytes: its size, or Empty below the minimum.
// Also the status after a fill or a draw, from the store's new size.
KeyStoreStatus statusForStoreSize(uint32_t storeSize);
// The status at start-up from what was found: a store decides alone; without one the pad file
// (the first place that opened) does.
KeyStoreStatus measuredKeyStoreStatus(bool storeOpened, uint32_t storeSize, bool padOpened, uint32_t padSize);
// A fill moves the pad file only when it holds at least the minimum.
bool padFileUsable(uint32_t padSize);
// The bytes a draw takes from the front of a store of storeSize bytes: the key length for
// inputSize, but no more than the store holds.
uint32_t keyStoreDrawLength(uint32_t inputSize, uint32_t storeSize);

// appData followed by `tail` (one of the names above, or folder + file); false when too long.
bool keyStorePath(const char* appData, const char* tail, char* path, size_t capacity);
// appData + "\Orvensoft\Random" + "\keyblock.txt"; false when too long.
bool keyStoreFilePath(const char* appData, char* path, size_t capacity);

// The advice that ends the KeyStore button for a status without usable data (NoPad,
// PadTooSmall, Empty); null for the others.
const char* keyStoreAdviceText(KeyStoreStatus status);

struct KeyStorePrompt {
    const char* text;
    const char* yesText;
    const char* noText;
};

// What the KeyStore button does, supplied by the Windows layer. Every prompt is shown compact.
struct KeyStoreActions {
    void* context;
    bool (*ask)(void* context, const KeyStorePrompt& prompt); // true for the upper button
    KeyStoreStatus (*fill)(void* context);                    // fillKeyStore: the status after it
    KeyStoreStatus (*draw)(void* context);                    // drawKeyFile: the status after it
    void (*openReadMe)(void* context);
};

// The whole reaction to the KeyStore button: the set-up offer, the advice, a top-up when the
// store is short of the key length, and the offer to draw. Updates status from fills and draws.
void runKeyStoreCommand(KeyStoreStatus& status, uint32_t inputSize, const KeyStoreActions& actions);
