#include <gtest/gtest.h>

#include "app/osname.h"

namespace {

TEST(DescribeSystem, NamesEachVersionWithEditionAndServicePack) {
    struct Case {
        SystemVersion version;
        const char* text;
    } cases[] = {
        {{true, 2, 10, 0, 19045, 1, 0, false, false, ""}, "Windows 10 Professional"},
        {{true, 2, 10, 0, 22631, 1, 0, false, false, ""}, "Windows 11 Professional"},
        {{true, 2, 5, 1, 2600, 1, 0x0200, false, false, "Service Pack 3"},
         "Windows XP Home Edition, Service Pack 3"},
        {{true, 2, 5, 1, 2600, 1, 0, true, false, ""}, "Windows XP Tablet PC Edition Professional"},
        {{true, 2, 5, 1, 2600, 1, 0, false, true, ""}, "Windows XP Media Center Edition Professional"},
        {{true, 2, 6, 1, 7601, 1, 0, false, false, "Service Pack 1"},
         "Windows 7 Professional, Service Pack 1"},
        {{true, 2, 6, 4, 0, 3, 0, false, false, ""}, "Unknown Window 2000 Server"},
        {{true, 2, 5, 7, 0, 1, 0, false, false, ""}, "Unknown OS Professional"},
        {{false, 2, 6, 0, 6000, 1, 0, false, false, ""}, "Windows Vista"},
        {{true, 1, 4, 10, 0, 1, 0, false, false, "A"}, "Unknown OS"},
        {{true, 2, 10, 0, 20348, 3, 0, false, false, ""}, "Windows 10 Server"},
    };
    for (const Case& c : cases) {
        char out[600];
        describeSystem(c.version, out, sizeof out);
        EXPECT_STREQ(out, c.text);
    }
}

} // namespace
