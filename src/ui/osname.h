// The one-line description of the running system, from the numbers the system reports.
#pragma once

#include <cstddef>
#include <cstdint>

struct SystemVersion {
    bool extended; // the product type and suite mask are known
    uint32_t platformId;
    uint32_t major;
    uint32_t minor;
    uint32_t build;
    uint32_t productType;
    uint32_t suiteMask;
    bool tabletPc;
    bool mediaCenter;
    const char* servicePack;
};

void describeSystem(const SystemVersion& version, char* out, size_t capacity);

// The "EMail Us" text: "mailto:" + address + "?subject=Nimbrel&body=v1400 " + system line + " ".
// The address, subject and closing blank always stay; a system line too long for the buffer is
// cut rather than dropped or allowed to overflow it.
void buildMailText(const char* address, const char* systemLine, char* out, size_t capacity);

// The product page: the site address followed by "det.php?prog=Nimbrel".
void buildSiteText(const char* site, char* out, size_t capacity);
