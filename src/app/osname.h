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

constexpr char kSupportMail[] = "support@vostra-computing.example";
constexpr char kSiteAddress[] = "https://www.vostra-computing.example/";
