#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "results/HardwareQuery.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// A fake machine: PCI devices with real ids, ACPI processors and a cpuinfo.
class HardwareQueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists("/usr/share/misc/pci.ids") && !fs::exists("/usr/share/misc/pci.ids.gz")) {
            GTEST_SKIP() << "the pci.ids database is not installed";
        }
        // Created out of name order; the query lists them in name order.
        pci("0000:00:03.0", 0x060000, 0x8086, 0x1237);  // same name as 00:00.0
        pci("0000:00:00.0", 0x060000, 0x8086, 0x1237);  // host bridge
        pci("0000:00:01.2", 0x0c0300, 0x8086, 0x7020);  // USB
        pci("0000:00:01.1", 0x010180, 0x8086, 0x7010);  // IDE
        pci("0000:00:02.0", 0x060000, 0x8086, 0xfff0);  // device unknown to pci.ids
        fs::create_directories(root() / "sys/bus/pci/devices/0000:00:05.0");  // no class
        for (const char* cpu : {"LNXCPU:01", "LNXCPU:00", "ACPI0007:00", "LNXSYSTM:00"}) {
            fs::create_directories(root() / "sys/bus/acpi/devices" / cpu);
        }
        writeFile(root() / "proc/cpuinfo",
                  "processor\t: 0\nmodel name\t: Test CPU @ 2.40GHz \n\n"
                  "processor\t: 1\nmodel name\t: Other CPU\n");
    }

    fs::path root() const { return folder_.path(); }

    void pci(const std::string& address, uint32_t classCode, uint32_t vendor, uint32_t device) {
        const fs::path dir = root() / "sys/bus/pci/devices" / address;
        char text[16];
        std::snprintf(text, sizeof text, "0x%06x\n", classCode);
        writeFile(dir / "class", text);
        std::snprintf(text, sizeof text, "0x%04x\n", vendor);
        writeFile(dir / "vendor", text);
        std::snprintf(text, sizeof text, "0x%04x\n", device);
        writeFile(dir / "device", text);
    }

    std::vector<std::string> names(const std::vector<std::string>& filters, bool includeAcpi) {
        auto query = newHardwareQuery((root() / "sys").string(), (root() / "proc").string());
        for (const std::string& filter : filters) {
            query->addClassFilter(filter);
        }
        return listOf(*query, includeAcpi);
    }

    static std::vector<std::string> listOf(I_VornHardwareQuery& query, bool includeAcpi) {
        std::vector<std::string> list;
        for (const char* name = query.firstDevice(includeAcpi); name != nullptr;
             name = query.nextDevice()) {
            list.emplace_back(name);
        }
        return list;
    }

private:
    TempDir folder_;
};

const std::string kHostBridge = "Intel Corporation 440FX - 82441FX PMC [Natoma]";
const std::string kIde = "Intel Corporation 82371SB PIIX3 IDE [Natoma/Triton II]";
const std::string kUsb = "Intel Corporation 82371SB PIIX3 USB [Natoma/Triton II]";
const std::string kCpu = "Test CPU @ 2.40GHz";

struct QueryCase {
    std::vector<std::string> filters;
    bool includeAcpi;
    std::vector<std::string> expected;
};

TEST_F(HardwareQueryTest, FiltersMatchSetupClassesCaseInsensitivelyAsParts) {
    const QueryCase cases[] = {
        {{}, true, {}},
        {{"System"}, false, {kHostBridge, "Host bridge"}},
        {{"system", "SYSTEM"}, false, {kHostBridge, "Host bridge"}},
        {{"hdc"}, true, {kIde}},
        {{"HD"}, false, {kIde}},
        {{"ide"}, true, {}},  // no setup class contains "IDE"
        {{"usb"}, true, {kUsb}},
        {{"Processor"}, false, {}},
        {{"Processor"}, true, {kCpu}},
        {{"Processor", "hdc"}, true, {kIde, kCpu}},  // PCI before ACPI
        {{"usb", "hdc"}, false, {kIde, kUsb}},       // device order, not filter order
    };
    for (const QueryCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.filters));
        EXPECT_EQ(names(c.filters, c.includeAcpi), c.expected);
    }
}

TEST_F(HardwareQueryTest, FirstDeviceScansAfreshAndSeventeenthFilterIsIgnored) {
    auto query = newHardwareQuery((root() / "sys").string(), (root() / "proc").string());
    query->addClassFilter("System");
    const std::vector<std::string> once = listOf(*query, true);
    EXPECT_EQ(once, (std::vector<std::string>{kHostBridge, "Host bridge"}));
    EXPECT_EQ(listOf(*query, true), once);
    EXPECT_EQ(query->nextDevice(), nullptr);

    std::vector<std::string> filters(16, "nothing");
    filters.push_back("System");
    EXPECT_TRUE(names(filters, false).empty());
}

TEST_F(HardwareQueryTest, MissingAcpiFolderOrCpuinfoLeavesPciNamesOnly) {
    fs::remove(root() / "proc/cpuinfo");
    EXPECT_EQ(names({"Processor", "hdc"}, true), std::vector<std::string>{kIde});
    fs::remove_all(root() / "sys/bus/acpi");
    writeFile(root() / "proc/cpuinfo", "model name\t: Test CPU @ 2.40GHz\n");
    EXPECT_EQ(names({"Processor", "hdc"}, true), std::vector<std::string>{kIde});
    fs::remove_all(root() / "sys/bus/pci");
    EXPECT_TRUE(names({"Processor", "hdc", "System"}, true).empty());
}

TEST(PciSetupClass, ClassCodesMapToSetupClasses) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0x010180, "hdc"},         {0x010500, "hdc"},         {0x010601, "hdc"},
        {0x010000, "SCSIAdapter"}, {0x010400, "SCSIAdapter"}, {0x010802, "SCSIAdapter"},
        {0x018000, "SCSIAdapter"}, {0x0c0330, "USB"},         {0x0c0010, "1394"},
        {0x0c0500, "System"},      {0x0c8000, "Unknown"},     {0x050000, "System"},
        {0x060400, "System"},      {0x088000, "System"},      {0x0b4000, "Processor"},
        {0x020000, "Net"},         {0x030000, "Display"},     {0x040300, "MEDIA"},
        {0x070000, "Unknown"},     {0xff0000, "Unknown"},
    };
    for (const auto& [code, setupClass] : cases) {
        EXPECT_STREQ(pciSetupClass(code), setupClass) << std::hex << code;
    }
}

}  // namespace
}  // namespace vorn::test
