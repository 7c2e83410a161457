// Reading simulation files: defaults, every key, and errors that say where and what.
#include <gtest/gtest.h>

#include <fstream>

#include "sim/config.h"
#include "sim/tests/host.h"

namespace sim::test {
namespace {

TEST(Config, AnEmptyFileMeansEveryDefault) {
    Outcome<Config> config = ParseConfig("; nothing here\n\n", "empty.ini");
    ASSERT_TRUE(config) << config.error();
    EXPECT_TRUE(config->device.present);
    EXPECT_EQ(config->device.plug_after_ms, 0u);
    EXPECT_EQ(config->device.vendor_id, 0x1209);
    EXPECT_EQ(config->device.product_id, 0x5A01);
    EXPECT_EQ(config->device.bcd_device, 0x0200);
    EXPECT_EQ(config->device.dfu_version, 0x011A);
    EXPECT_EQ(config->device.attributes, 0x0B);
    EXPECT_EQ(config->device.transfer_size, 2048);
    ASSERT_EQ(config->alts.size(), 1u);
    EXPECT_EQ(config->alts[0].name, "@Velmarquist /0x08000000/04*016Kg,01*064Kg,07*128Kg");
    EXPECT_EQ(config->alts[0].store, "");
    EXPECT_EQ(config->timing.erase_ms_per_sector, 20u);
    EXPECT_EQ(config->timing.program_ms_per_block, 2u);
    EXPECT_FALSE(config->fault);
}

TEST(Config, ReadsEveryKey) {
    const char* text =
        "\xEF\xBB\xBF[device]\r\n"
        "present        = 0        ; later\r\n"
        "plug_after_ms  = 1500\n"
        "vendor_id      = 0x7E57\n"
        "product_id     = 0X0001\n"
        "bcd_device     = 0x2200\n"
        "dfu_version    = 0x011B\n"
        "attributes     = 0x0F\n"
        "transfer_size  = 1024\n"
        "detach_timeout = 50\n"
        "serial         = LINE-7\n"
        "[alt0]\n"
        "name  = @Program Memory  /0x08000000/02*016Kg\n"
        "store = flash.bin\n"
        "[ALT1]\n"
        "Name  = @Settings Area  /0x1FFFC000/01*016 e\n"
        "[timing]\n"
        "erase_ms_per_sector  = 0\n"
        "program_ms_per_block = 9\n"
        "[fault]\n"
        "phase      = Erase\n"
        "alt        = 1\n"
        "at_percent = 100\n"
        "corrupt    = 1\n"
        "unplug     = 0\n"
        "total      = 12\n";
    Outcome<Config> config = ParseConfig(text, "all.ini");
    ASSERT_TRUE(config) << config.error();
    EXPECT_FALSE(config->device.present);
    EXPECT_EQ(config->device.plug_after_ms, 1500u);
    EXPECT_EQ(config->device.vendor_id, 0x7E57);  // not the default, so the key is seen read
    EXPECT_EQ(config->device.product_id, 0x0001);
    EXPECT_EQ(config->device.bcd_device, 0x2200);
    EXPECT_EQ(config->device.dfu_version, 0x011B);
    EXPECT_EQ(config->device.attributes, 0x0F);
    EXPECT_EQ(config->device.transfer_size, 1024);
    EXPECT_EQ(config->device.detach_timeout, 50);
    EXPECT_EQ(config->device.serial, "LINE-7");
    ASSERT_EQ(config->alts.size(), 2u);
    EXPECT_EQ(config->alts[0].name, "@Program Memory  /0x08000000/02*016Kg");
    EXPECT_EQ(config->alts[0].store, "flash.bin");
    EXPECT_EQ(config->alts[1].name, "@Settings Area  /0x1FFFC000/01*016 e");
    EXPECT_EQ(config->timing.erase_ms_per_sector, 0u);
    EXPECT_EQ(config->timing.program_ms_per_block, 9u);
    ASSERT_TRUE(config->fault);
    EXPECT_EQ(config->fault->phase, FaultPhase::Erase);
    EXPECT_EQ(config->fault->alt, 1);
    EXPECT_EQ(config->fault->at_percent, 100u);
    EXPECT_EQ(config->fault->action, FaultAction::Corrupt);
    EXPECT_EQ(config->fault->total, 12u);
}

TEST(Config, FaultActions) {
    struct Case {
        const char* line;
        FaultAction action;
    } cases[] = {
        {"status = 6", FaultAction::Status},
        {"unplug = 1", FaultAction::Unplug},
        {"corrupt = 1", FaultAction::Corrupt},
        {"stall = 1", FaultAction::Stall},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Outcome<Config> config = ParseConfig(std::string("[fault]\nphase = write\n") + c.line + "\n", "f.ini");
        ASSERT_TRUE(config) << config.error();
        EXPECT_EQ(config->fault->action, c.action);
        EXPECT_EQ(config->fault->phase, FaultPhase::Write);
        EXPECT_EQ(config->fault->alt, 0);
        EXPECT_EQ(config->fault->at_percent, 50u);
    }
    EXPECT_EQ(ParseConfig("[fault]\nphase = write\nstatus = 6\n", "f.ini")->fault->status, 6);
}

TEST(Config, ErrorsSayFileLineAndWhat) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"[device]\nvendor_id = 0x10000\n", "bad.ini:2: vendor_id: expected a number from 0 to 65535, got '0x10000'"},
        {"[device]\npresent = yes\n", "bad.ini:2: present: expected a number from 0 to 1, got 'yes'"},
        {"[device]\ntransfer_size = 0\n", "bad.ini:2: transfer_size"},
        {"[device]\nattributes = 0x1G\n", "bad.ini:2: attributes"},
        {"[device]\nproduct_id =\n", "bad.ini:2: product_id"},
        {"\n\n[devise]\n", "bad.ini:3: unknown section [devise]"},
        {"[device]\ncolour = blue\n", "bad.ini:2: unknown key 'colour' in [device]"},
        {"vendor_id = 1\n", "bad.ini:1: a key before the first [section]"},
        {"[device]\njust words\n", "bad.ini:2: expected key = value"},
        {"[device\n", "bad.ini:1: a section header must end with ']'"},
        {"[alt0]\nname = @A/0x0/1*1Kg\n[alt2]\nname = @C/0x0/1*1Kg\n", "bad.ini:3: [alt2] without [alt1] before it"},
        {"[alt0]\nstore = a.bin\n", "bad.ini:1: [alt0] has no name"},
        {"[fault]\nstatus = 3\n", "bad.ini:1: [fault] needs phase = erase or write"},
        {"[fault]\nphase = verify\n", "bad.ini:2: phase: expected erase or write, got 'verify'"},
        {"[fault]\nphase = write\n", "bad.ini:1: [fault] needs exactly one of"},
        {"[fault]\nphase = write\nstatus = 3\nunplug = 1\n", "bad.ini:1: [fault] needs exactly one of"},
        {"[fault]\nphase = write\nstatus = 0\n", "bad.ini:3: status: expected a number from 1 to 15"},
        {"[fault]\nphase = write\nat_percent = 101\nstall = 1\n", "bad.ini:3: at_percent"},
        {"[fault]\nphase = write\nalt = 1\nstall = 1\n", "bad.ini:1: [fault] alt 1: the device has no such alternate setting"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Outcome<Config> config = ParseConfig(c.text, "bad.ini");
        ASSERT_FALSE(config);
        EXPECT_EQ(config.error().rfind(c.error, 0), 0u) << config.error();
    }
}

TEST(Config, StoresLiveBesideTheFile) {
    TempFolder folder;
    std::filesystem::path file = folder.path() / "device.ini";
    std::ofstream(file) << "[alt0]\nname = @A/0x0/1*1Kg\n[alt1]\nname = @B/0x0/1*1Kg\nstore = mem/b.bin\n";
    Outcome<Config> config = LoadConfig(file);
    ASSERT_TRUE(config) << config.error();
    EXPECT_EQ(config->folder, folder.path());
    EXPECT_EQ(StorePath(*config, 0), folder.path() / "alt0.bin");
    EXPECT_EQ(StorePath(*config, 1), folder.path() / "mem" / "b.bin");
    EXPECT_TRUE(StorePath(QuickConfig(), 0).empty());  // memory only

    Outcome<Config> missing = LoadConfig(folder.path() / "absent.ini");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find("absent.ini"), std::string::npos);
}

}  // namespace
}  // namespace sim::test
