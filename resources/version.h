// The program's version, used by the version record and by every caption.
#pragma once

#define NIMBREL_VERSION_TEXT "1.9"
#define NIMBREL_TITLE "Nimbrel 1.9"
#define NIMBREL_FILE_VERSION 1, 9, 0, 0
#define NIMBREL_FILE_VERSION_TEXT "1.9.0.0"
