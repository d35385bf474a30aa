// The KeyStore: a local pool of pad data in the user's application-data folder, fed from the pad
// file that Padforge leaves and drawn from, front first, for key files. These are its rules and
// texts; the files themselves are handled by the Windows layer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/text.h"

// Where the KeyStore stands.
enum class KeyStoreState : uint32_t {
    NoPad,       // no store, no pad file in either place
    PadTooSmall, // no store, a pad file below the minimum
    NotSetUp,    // no store, a pad file of at least the minimum
    Empty,       // a store below the minimum
    Ready,       // a store of at least the minimum
};

struct KeyStoreStatus {
    KeyStoreState state;
    uint32_t size; // Ready: the store's size in bytes, never below the minimum; otherwise 0
};

inline bool operator==(const KeyStoreStatus& a, const KeyStoreStatus& b) {
    return a.state == b.state && a.size == b.size;
}
inline bool operator!=(const KeyStoreStatus& a, const KeyStoreStatus& b) {
    return !(a == b);
}

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

// Below the store's folder: a draw's rest of the store before it replaces the store, and the
// record of a fill or draw under way.
inline constexpr char kKeyStoreDraftName[] = "\\keyblock.new";

// Whether `path` names a draw's temporary key file, the only kind the recovery of a draw removes.
bool isKeyDraftPath(const char* path);
// The drive letter of a draft path on a lettered drive ("X:\\...\\nbk*.tmp"); 0 for any other
// path (network, device, relative), which recovery never touches.
char keyDraftDrive(const char* path);
inline constexpr char kKeyStoreJournalName[] = "\\keyblock.jnl";
// Opened without sharing by whichever copy of the program is changing the store, for as long as
// it does: the system closes it when that copy ends, however it ends.
inline constexpr char kKeyStoreLockName[] = "\\keyblock.lck";

// The largest store there is: sizes are 32-bit counts everywhere else.
constexpr uint64_t kKeyStoreLargest = 0xFFFFFFFFu;

// Messages of a fill or draw that went wrong, each around a path ("lead "path" tail").
inline constexpr char kKeyFileExistsLead[] = "KeyFile.txt already exists in ";
inline constexpr char kKeyFileExistsTail[] =
    ". It may be the only key to files encrypted with it. Replace it with a new key?";
inline constexpr char kKeyFileReplaceYes[] = "Replace KeyFile.txt";
inline constexpr char kKeyFileReplaceNo[] = "Keep old KeyFile.txt";
// Said once Create has written a key, around its path.
inline constexpr char kKeyFileWrittenLead[] = "The new key file is ";
inline constexpr char kKeyFileWrittenTail[] =
    ". Keep it apart from the encrypted file (on a removable drive, say, or with the person who is to "
    "decrypt it): anyone who has both can read the file. Use it for this one file only.";
// What the start-up check settled of a draw that Nimbrel's last run left, around the key's path;
// the tails take the key's length in bytes.
inline constexpr char kRecoveredKeyLead[] =
    "A key that the KeyStore drew before Nimbrel last ended has been put in place: ";
inline constexpr char kRecoveredKeyTail[] =
    " (%llu bytes). It was drawn for one file: use it for that file alone.";
inline constexpr char kRecoveredLossLead[] =
    "A key that the KeyStore drew before Nimbrel last ended could not be put in place as ";
inline constexpr char kRecoveredLossTail[] =
    ": its folder is gone or out of reach. The %llu bytes drawn for it have left the KeyStore and "
    "are given up, so that no other key can ever repeat them; press KeyStore again for a new key.";
inline constexpr char kKeyStoreFileLead[] = "KeyStore file ";
inline constexpr char kKeyFileLead[] = "Key file ";
inline constexpr char kPadFileLead[] = "Pad file ";
inline constexpr char kDrawUndoneTail[] =
    " could not be read or written. No key was drawn and the KeyStore is unchanged.";
inline constexpr char kDrawLostTail[] =
    " could not be written. The KeyStore data drawn for it is lost; press KeyStore again for a new key.";
inline constexpr char kPendingTail[] =
    " records a KeyStore change that could not be finished. Until it is, no key is drawn and no pad data "
    "is added; it is tried again at every start.";
inline constexpr char kCannotMakeTail[] =
    " cannot be made or opened. Check that its folder can be created and written to. No pad data was moved.";
inline constexpr char kFillUndoneTail[] =
    " could not be moved into the KeyStore. The pad file and the KeyStore are unchanged.";
inline constexpr char kKeyStoreBusyTail[] =
    " is in use by another copy of Nimbrel. Nothing was changed; try again when it has finished.";
inline constexpr char kDrawShortTail[] =
    " now holds fewer bytes than the key needs: another copy of Nimbrel may have drawn from it. No key was "
    "drawn and the KeyStore is unchanged.";
inline constexpr char kKeyFileBlockedTail[] =
    " is a folder or a read-only file, so a new key cannot take its place. No key was drawn and the KeyStore "
    "is unchanged.";
inline constexpr char kDrawNoRoomTail[] =
    " could not be written: there is not enough room on its disk. No key was drawn and the KeyStore is "
    "unchanged.";
inline constexpr char kFillTooBigTail[] =
    " would make the KeyStore larger than 4 GB, which it cannot hold. The pad file was left as it is; "
    "draw keys from the KeyStore first.";

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

// What a fill or draw under way has done so far, kept in the journal file so that the next
// start-up (or the next fill or draw) can finish or undo it.
enum class KeyStoreChange : uint32_t {
    FillAppending = 1, // the pad is going into the store: bytes past storeSize are not the store's
    FillAppended = 2,  // the pad is in the store: its bytes are no longer the pad file's
    Draw = 3,          // a key is being drawn into `draft`, which is not a key yet
};

struct KeyStoreJournal {
    KeyStoreChange change;
    uint32_t padPlace;  // 0 the first place of the pad file, 1 the second
    uint64_t storeSize; // the store's size before the fill or draw
    // A fill: the pad file's size when it began. A draw: the key's length (0 in the records of
    // earlier versions, which kept no length).
    uint64_t length;
    char draft[kTextCapacity];
};

// The journal file holds exactly this many bytes; the change is a 4-byte field at its offset, so
// marking a fill "appended" rewrites only those. The draft's path (UTF-8) has 600 bytes, as in
// the journals of earlier versions.
constexpr size_t kJournalDraftCapacity = 600;
constexpr size_t kJournalBytes = 8 + 4 + 4 + 8 + 8 + kJournalDraftCapacity;
constexpr size_t kJournalChangeOffset = 8;
// False when the draft's path does not fit: no journal is better than one naming another file.
bool encodeKeyStoreJournal(const KeyStoreJournal& journal, uint8_t* bytes);
// False for anything but a whole journal of a known change.
bool decodeKeyStoreJournal(const uint8_t* bytes, size_t count, KeyStoreJournal& journal);

struct KeyStorePrompt {
    const char* text;
    const char* yesText;
    const char* noText;
    // Advice: the upper button ("OK") goes on as before. Otherwise the upper button acts, and
    // the lower one is the harmless answer.
    bool advice;
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
