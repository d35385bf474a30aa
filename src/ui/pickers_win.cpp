#include "ui/pickers_win.h"

#include <commdlg.h>
#include <shlobj.h>

#include "engine/messages.h"
#include "engine/paths.h"
#include "text/text.h"
#include "ui/folders_win.h"
#include "ui/message_win.h"
#include "version.h"
#include "win/files_win.h"
#include "win/wide_win.h"

namespace {

// The open-file picker's request is kept for the whole run, so the filter last used is offered
// again.
OPENFILENAMEW gPicker;
wchar_t gPickedFile[kWideCapacity];

} // namespace

bool chooseFile(HWND window, char* path) {
    // A folder goes in with a trailing backslash: without it the picker takes the folder's name
    // for a file name and opens in its parent.
    const DWORD attributes = winFileAttributes(path);
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                        path[0] != '\0' && path[textLength(path) - 1] == '\\';
    if (!folder && !opensForReading(path, FILE_SHARE_READ) &&
        (!winSpecialFolder(CSIDL_PERSONAL, path, kTextCapacity) ||
         !withTrailingBackslash(path, kTextCapacity))) {
        path[0] = '\0';
    }
    if (!toWide(path, gPickedFile, kWideCapacity)) {
        gPickedFile[0] = L'\0';
    }
    gPicker.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    gPicker.hwndOwner = window;
    gPicker.hInstance = gPlace.instance;
    gPicker.lpstrFilter = L"All Files\0*.*\0Nimbrel Files\0*.Qdx\0";
    gPicker.lpstrFile = gPickedFile;
    gPicker.nMaxFile = DWORD(kWideCapacity);
    gPicker.lpstrTitle = L"" NIMBREL_TITLE;
    gPicker.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES;
    const bool chosen = GetOpenFileNameW(&gPicker) != 0;
    if (!chosen) {
        return false;
    }
    if (!toUtf8(gPickedFile, path, kTextCapacity)) {
        char message[kMessageCapacity];
        composePathTooLong(utf8Of(gPickedFile).c_str(), message, sizeof message);
        showError(window, message, true);
        return false;
    }
    return true;
}

bool browseFolder(HWND window, char* path) {
    wchar_t displayName[MAX_PATH];
    BROWSEINFOW request{};
    request.hwndOwner = window;
    request.pszDisplayName = displayName;
    request.lpszTitle = L"Output Directory:";
    request.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_EDITBOX;
    LPITEMIDLIST chosen = SHBrowseForFolderW(&request);
    if (!chosen) {
        return false;
    }
    wchar_t folder[MAX_PATH] = L"";
    bool ok = SHGetPathFromIDListW(chosen, folder) && toUtf8(folder, path, kTextCapacity);
    CoTaskMemFree(chosen);
    return ok;
}
