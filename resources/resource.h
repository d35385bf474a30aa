// Resource and control ids. The numbers are fixed: commands are named by them, and the shell
// association points at the third icon group (502).
//
// Prefixes say the kind: IDD_ dialog, IDI_ icon, IDB_ push button, IDO_ radio (option) button,
// IDX_ check box, IDE_ edit, IDC_ drop-down list, IDP_ progress bar, IDT_ static text, IDM_ menu
// command.
#pragma once

// Icons, in the order the shell counts them.
#define IDI_PROGRAM 500
#define IDI_KEYS 501
#define IDI_CONTAINER 502

// Main dialog
#define IDD_MAIN 1006
#define IDB_GO 1
#define IDB_CLOSE 2
#define IDB_HELP 3
#define IDB_ABOUT 1000
#define IDB_CHOOSE_INPUT 1001
#define IDE_INPUT 1002
#define IDB_BROWSE 1003
#define IDE_OUTPUT 1004
#define IDE_DESCRIPTION 1005
#define IDO_STRING 1006
#define IDO_FILE 1007
#define IDB_CHOOSE_KEY 1008
#define IDO_XOR 1009 // cipher mode XOR (0); Classic is IDO_XOR + 1
#define IDO_CLASSIC 1010
#define IDE_BYTE_COUNT 1011
#define IDO_DRIVE 1012
#define IDC_DRIVES 1013
#define IDC_KEY_FILES 1014
#define IDE_KEY_STRING 1015
#define IDX_USE_DESCRIPTION 1016
#define IDE_KEY_FILE 1018
#define IDX_SAVE_KEY_NAME 1019
#define IDB_REFRESH 1020
#define IDP_PROGRESS 1021
#define IDB_ANALYSE 1030
#define IDB_KEYSTORE 1031
#define IDB_CREATE 1032
#define IDB_DESKTOP 1033
#define IDB_SAME 1034
#define IDB_ADD_NAME 1035
// The labels around the byte count: greyed with it.
#define IDT_USE_BYTES 1036
#define IDT_BYTES 1037

// System menu of the main dialog
#define IDM_ON_TOP 5000

// About dialog
#define IDD_ABOUT 1025
#define IDB_ABOUT_CLOSE 1
#define IDB_ABOUT_ACTION 3
#define IDE_ABOUT_MAIL 850
#define IDE_ABOUT_SITE 851
#define IDB_ABOUT_MAIL 1000
#define IDB_ABOUT_SITE 1002
#define IDC_ABOUT_ITEMS 1003
#define IDE_ABOUT_INFO 1015

// Message box. The lower button is not IDCANCEL (2): Esc arrives as IDCANCEL, and must stay
// apart from the button, since it gives the harmless answer, which is not always the lower one.
#define IDD_MESSAGE 1601
#define IDE_MESSAGE_TEXT 1601
#define IDB_MESSAGE_YES 1
#define IDB_MESSAGE_NO 7
