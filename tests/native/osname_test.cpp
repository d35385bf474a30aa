#include <gtest/gtest.h>

#include <string>

#include "ui/osname.h"
#include "version.h"

namespace {

SystemVersion nt(uint32_t major, uint32_t minor, uint32_t build = 0) {
    return {true, 2, major, minor, build, 1, 0, false, false, ""};
}

std::string describe(const SystemVersion& version) {
    char out[600];
    describeSystem(version, out, sizeof out);
    return out;
}

TEST(DescribeSystem, NamesEveryVersionOfTheTable) {
    SystemVersion tablet = nt(5, 1), mediaCenter = nt(5, 1), both = nt(5, 1);
    tablet.tabletPc = true;
    mediaCenter.mediaCenter = true;
    both.tabletPc = both.mediaCenter = true;
    struct Case {
        SystemVersion version;
        const char* name;
    } cases[] = {
        {nt(5, 0), "Windows 2000"},
        {tablet, "Windows XP Tablet PC Edition"},
        {mediaCenter, "Windows XP Media Center Edition"},
        {both, "Windows XP Tablet PC Edition"}, // the tablet test comes first
        {nt(5, 1), "Windows XP"},
        {nt(5, 2), "Windows Server 2003 Family"},
        {nt(5, 3), "Unknown OS"},
        {nt(6, 0), "Windows Vista"},
        {nt(6, 1), "Windows 7"},
        {nt(6, 2), "Windows 8"},
        {nt(6, 3), "Windows 8.1"},
        {nt(6, 4), "Unknown Window 2000"},
        {nt(10, 0, 10240), "Windows 10"},
        {nt(10, 0, 21999), "Windows 10"},
        {nt(10, 0, 22000), "Windows 11"},
        {nt(10, 5, 26100), "Windows 11"}, // any minor version
        {nt(4, 0), "Unknown OS"},
        {nt(11, 0, 30000), "Unknown OS"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(describe(c.version), std::string(c.name) + " Professional")
            << c.version.major << "." << c.version.minor << "." << c.version.build;
    }
}

TEST(DescribeSystem, AddsTheEditionAndTheServicePack) {
    SystemVersion v = nt(5, 1, 2600);
    v.suiteMask = 0x0200;
    v.servicePack = "Service Pack 3";
    EXPECT_EQ(describe(v), "Windows XP Home Edition, Service Pack 3");
    v.suiteMask = 0x0300; // other suite bits beside the personal one
    EXPECT_EQ(describe(v), "Windows XP Home Edition, Service Pack 3");
    v.productType = 3;
    EXPECT_EQ(describe(v),
              "Windows XP Server, Service Pack 3"); // the personal bit counts for workstations only
    v.productType = 2;
    EXPECT_EQ(describe(v), "Windows XP Domain Controller, Service Pack 3");
    v.productType = 0; // unknown type: no edition
    EXPECT_EQ(describe(v), "Windows XP, Service Pack 3");
    v.servicePack = nullptr;
    EXPECT_EQ(describe(v), "Windows XP");

    SystemVersion basic = nt(6, 1, 7601); // only the basic record: no product type is known
    basic.extended = false;
    basic.productType = 1;
    basic.servicePack = "Service Pack 1";
    EXPECT_EQ(describe(basic), "Windows 7, Service Pack 1");
    SystemVersion unknown = nt(6, 7);
    unknown.productType = 3;
    EXPECT_EQ(describe(unknown), "Unknown Window 2000 Server");
}

TEST(DescribeSystem, AnythingButTheNtFamilyIsJustUnknown) {
    for (uint32_t platform : {0u, 1u, 3u}) {
        SystemVersion v = nt(10, 0, 22631);
        v.platformId = platform;
        v.servicePack = "Service Pack 9";
        EXPECT_EQ(describe(v), "Unknown OS");
    }
}

TEST(DescribeSystem, AServicePackTextTooLongForTheLineIsCut) {
    std::string longPack(700, 'S');
    SystemVersion v = nt(10, 0, 19045);
    v.servicePack = longPack.c_str();
    char out[600 + 4] = {};
    out[600] = '#';
    describeSystem(v, out, 600);
    std::string text = out;
    EXPECT_EQ(text.size(), 599u);
    EXPECT_EQ(text.rfind("Windows 10 Professional, SSS", 0), 0u);
    EXPECT_EQ(out[600], '#');
}

TEST(AboutTexts, TheMailTextCarriesVersionTagSystemLineAndClosingBlank) {
    char mail[600];
    buildMailText(NIMBREL_SUPPORT_MAIL, "Windows 11 Professional", mail, sizeof mail);
    EXPECT_EQ(std::string(mail), std::string("mailto:") + NIMBREL_SUPPORT_MAIL +
                                     "?subject=Nimbrel&body=v1400 Windows 11 Professional ");
    buildMailText("a@b", "", mail, sizeof mail);
    EXPECT_STREQ(mail, "mailto:a@b?subject=Nimbrel&body=v1400  ");
}

TEST(AboutTexts, AnOverlongSystemLineIsCutToFitTheBuffer) {
    std::string line(1000, 'L');
    char mail[64 + 8];
    std::fill(std::begin(mail), std::end(mail), '#');
    buildMailText("a@b", line.c_str(), mail, 64); // the guard bytes after 64 must stay
    std::string text = mail;
    EXPECT_EQ(text.size(), 63u);
    EXPECT_EQ(text.rfind("mailto:a@b?subject=Nimbrel&body=v1400 L", 0), 0u);
    EXPECT_EQ(text.back(), ' ');
    for (size_t i = 64; i < sizeof mail; ++i) {
        EXPECT_EQ(mail[i], '#');
    }
    std::string address(700, 'a'); // an address that cannot fit gives no text at all
    buildMailText(address.c_str(), "Windows 10", mail, 64);
    EXPECT_STREQ(mail, "");
}

TEST(AboutTexts, TheSiteTextNamesTheProduct) {
    char site[600];
    buildSiteText(NIMBREL_SITE, site, sizeof site);
    EXPECT_EQ(std::string(site), std::string(NIMBREL_SITE) + "det.php?prog=Nimbrel");
    buildSiteText("https://x/", site, 12);
    EXPECT_STREQ(site, "");
}

} // namespace
