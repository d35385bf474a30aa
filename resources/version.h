// The program's version and its maker's details, in one place for the version record, the
// About dialog and every caption.
#pragma once

#define NIMBREL_VERSION_TEXT "1.9"
#define NIMBREL_TITLE "Nimbrel 1.9"
#define NIMBREL_FILE_VERSION 1, 9, 0, 0
#define NIMBREL_FILE_VERSION_TEXT "1.9.0.0"

#define NIMBREL_MAKER "Vostra Computing"
#define NIMBREL_COPYRIGHT "Copyright © 2026 Vostra Computing"
#define NIMBREL_MAKER_LINE_1 NIMBREL_MAKER
#define NIMBREL_MAKER_LINE_2 "Free for private and commercial use"
#define NIMBREL_MAKER_LINE_3 "No warranty of any kind"
#define NIMBREL_SUPPORT_MAIL "support@vostra-computing.example"
// The product page is this address followed by "det.php?prog=Nimbrel".
#define NIMBREL_SITE "https://www.vostra-computing.example/"
