#include "ui/osname.h"

#include "text/text.h"

namespace {

const char* systemName(const SystemVersion& v) {
    switch (v.major) {
    case 5:
        switch (v.minor) {
        case 0:
            return "Windows 2000";
        case 1:
            return v.tabletPc      ? "Windows XP Tablet PC Edition"
                   : v.mediaCenter ? "Windows XP Media Center Edition"
                                   : "Windows XP";
        case 2:
            return "Windows Server 2003 Family";
        default:
            return "Unknown OS";
        }
    case 6:
        switch (v.minor) {
        case 0:
            return "Windows Vista";
        case 1:
            return "Windows 7";
        case 2:
            return "Windows 8";
        case 3:
            return "Windows 8.1";
        default:
            return "Unknown Window 2000";
        }
    case 10:
        return v.build < 22000 ? "Windows 10" : "Windows 11";
    default:
        return "Unknown OS";
    }
}

} // namespace

void describeSystem(const SystemVersion& v, char* out, size_t capacity) {
    out[0] = '\0';
    if (v.platformId != 2) {
        appendText(out, capacity, "Unknown OS");
        return;
    }
    appendText(out, capacity, systemName(v));
    if (v.extended) {
        if (v.productType == 1) {
            appendText(out, capacity, (v.suiteMask & 0x0200) ? " Home Edition" : " Professional");
        } else if (v.productType == 3) {
            appendText(out, capacity, " Server");
        } else if (v.productType == 2) {
            appendText(out, capacity, " Domain Controller");
        }
    }
    // The system gives at most 128 bytes here; anything longer is cut to the line's room.
    if (v.servicePack && v.servicePack[0] != '\0' && appendText(out, capacity, ", ")) {
        appendCutText(out, capacity, v.servicePack);
    }
}

void buildMailText(const char* address, const char* systemLine, char* out, size_t capacity) {
    out[0] = '\0';
    if (!appendText(out, capacity, "mailto:") || !appendText(out, capacity, address) ||
        !appendText(out, capacity, "?subject=Nimbrel&body=v1400 ")) {
        out[0] = '\0';
        return;
    }
    appendCutText(out, capacity, systemLine, 1); // room for the closing blank
    appendText(out, capacity, " ");
}

void buildSiteText(const char* site, char* out, size_t capacity) {
    out[0] = '\0';
    if (!appendText(out, capacity, site) || !appendText(out, capacity, "det.php?prog=") ||
        !appendText(out, capacity, "Nimbrel")) {
        out[0] = '\0';
    }
}
