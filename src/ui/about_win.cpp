#include "ui/about_win.h"

#include "resource.h"
#include "ui/chrome_win.h"
#include "ui/folders_win.h"
#include "ui/osname.h"
#include "version.h"
#include "win/wide_win.h"

namespace {

bool gAboutOpen = false;
enum AboutItem { ItemFolders = 0, ItemDiagnostics = 1 };

void copyToClipboard(HWND owner, const char* text) {
    if (!OpenClipboard(owner)) {
        return;
    }
    EmptyClipboard();
    size_t n = textLength(text) + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, n);
    if (memory) {
        CopyMemory(GlobalLock(memory), text, n);
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_TEXT, memory)) {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

void refreshAbout(HWND dialog, int position) {
    // The box grows from its template place down over the free space above the bottom row;
    // in dialog units, so it keeps its width whatever the font's base units.
    RECT place{5, 118, 5 + 192, 118 + 86};
    MapDialogRect(dialog, &place);
    MoveWindow(GetDlgItem(dialog, IDE_ABOUT_INFO), place.left, place.top, place.right - place.left,
               place.bottom - place.top, TRUE);
    SendDlgItemMessageA(dialog, IDC_ABOUT_ITEMS, CB_SETCURSEL, WPARAM(position), 0);
    const char* tip;
    if (position == ItemFolders) {
        winSetItemText(dialog, IDB_ABOUT_ACTION, "Open Dirs");
        tip =
            "Opens the directory where the program was installed as well as the directory where the program data "
            "is stored.";
    } else {
        winSetItemText(dialog, IDB_ABOUT_ACTION, "Copy");
        tip = "Copies the diagnostics line, for a message to the vendor";
    }
    setToolTip(dialog, gPlace.toolTip, IDB_ABOUT_ACTION, tip);

    char site[kTextCapacity];
    buildSiteText(NIMBREL_SITE, site, sizeof site);
    winSetItemText(dialog, IDE_ABOUT_SITE, site);

    char info[2 * kTextCapacity + 128] = "";
    if (position == ItemFolders) {
        appendText(info, "Location of program:\r\n");
        appendText(info, gPlace.programFolder);
        appendText(info, "\r\n\r\nWhere program stores user data:\r\n");
        appendText(info, gPlace.dataFolder);
    } else {
        describeOperatingSystem(info);
        appendText(info, "\r\n\r\n");
    }
    winSetItemText(dialog, IDE_ABOUT_INFO, info);
}

void onAboutCommand(HWND dialog, int id, int notification) {
    switch (id) {
    case IDC_ABOUT_ITEMS:
        if (notification == CBN_SELCHANGE) {
            LRESULT position = SendDlgItemMessageA(dialog, IDC_ABOUT_ITEMS, CB_GETCURSEL, 0, 0);
            refreshAbout(dialog, position == ItemDiagnostics ? ItemDiagnostics : ItemFolders);
        }
        break;
    case IDB_ABOUT_CLOSE:
        gAboutOpen = false;
        EndDialog(dialog, 0);
        break;
    case IDB_ABOUT_ACTION:
        if (SendDlgItemMessageA(dialog, IDC_ABOUT_ITEMS, CB_GETCURSEL, 0, 0) == ItemDiagnostics) {
            char line[kTextCapacity];
            describeOperatingSystem(line);
            copyToClipboard(dialog, line);
        } else {
            openWithShell(gPlace.programFolder);
            openWithShell(gPlace.dataFolder);
            refreshAbout(dialog, ItemFolders);
        }
        break;
    case IDB_ABOUT_SITE: {
        char site[kTextCapacity];
        winItemText(dialog, IDE_ABOUT_SITE, site, sizeof site);
        openWithShell(site);
        break;
    }
    case IDB_ABOUT_MAIL: {
        char line[kTextCapacity];
        describeOperatingSystem(line);
        char mail[kTextCapacity];
        buildMailText(NIMBREL_SUPPORT_MAIL, line, mail, sizeof mail);
        openWithShell(mail);
        break;
    }
    }
}

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        gAboutOpen = true;
        winSetItemText(dialog, IDE_ABOUT_MAIL, NIMBREL_SUPPORT_MAIL);
        winInsertComboText(dialog, IDC_ABOUT_ITEMS, ItemFolders, "Prog Dirs");
        winInsertComboText(dialog, IDC_ABOUT_ITEMS, ItemDiagnostics, "Diagnostics");
        refreshAbout(dialog, ItemFolders);
        SetFocus(GetDlgItem(dialog, IDB_ABOUT_CLOSE));
        return FALSE;
    case WM_DESTROY:
        removeToolTip(dialog, gPlace.toolTip, IDB_ABOUT_ACTION);
        return FALSE;
    case WM_COMMAND:
        // Esc (IDCANCEL) leaves the dialog open: only "Close" ends it.
        onAboutCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

void aboutDialog(HWND owner) {
    DialogBoxParamW(gPlace.instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, aboutProc, 0);
    gAboutOpen = false;
}

bool aboutDialogOpen() {
    return gAboutOpen;
}

void describeOperatingSystem(char* buffer) {
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof info;
    SystemVersion version{};
    version.extended = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) != 0;
    if (!version.extended) {
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info));
    }
    version.platformId = info.dwPlatformId;
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.build = info.dwBuildNumber;
    version.productType = info.wProductType;
    version.suiteMask = info.wSuiteMask;
    version.tabletPc = GetSystemMetrics(SM_TABLETPC) != 0;
    version.mediaCenter = GetSystemMetrics(SM_MEDIACENTER) != 0;
    version.servicePack = info.szCSDVersion;
    describeSystem(version, buffer, kTextCapacity);
}
