#include "device/family.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace device {
namespace {

TEST(Family, MainFileByMappingName) {
    const struct {
        std::string name;
        const wchar_t* file;  // nullptr: no family, nothing is loaded
    } cases[] = {
        {"Velmarquist", L"prog.dfu"},    {"VELMARQUIST", L"prog.dfu"},
        {"velMarQuist", L"prog.dfu"},    {"Velmarquist2", L"prog2.dfu"},
        {"vELMARQUIST2", L"prog2.dfu"},  {"Velmarquist3", nullptr},
        {"Velmarquist22", nullptr},      {"Velmarquist ", nullptr},  // callers trim first
        {"Velmarquis", nullptr},         {"", nullptr},
        {"Program Memory", nullptr},     {std::string("Velmarquist\0", 12), nullptr},
        {"Velmarqu\xC4\xB1st", nullptr},  // a non-ASCII letter is not folded into 'i'
    };
    for (const auto& c : cases) {
        const auto file = MainFirmwareFile(c.name);
        const auto files = FirmwareFiles(c.name);
        if (c.file) {
            ASSERT_TRUE(file) << c.name;
            EXPECT_EQ(*file, c.file);
            ASSERT_TRUE(files) << c.name;
            EXPECT_EQ((*files)[0], c.file);
            EXPECT_EQ((*files)[1], L"Dunorfile.dfu");
            EXPECT_EQ((*files)[2], L"file3.dfu");
        } else {
            EXPECT_FALSE(file) << c.name;
            EXPECT_FALSE(files) << c.name;
        }
    }
}

TEST(Family, TrimWhiteSpace) {
    const struct {
        std::string text;
        std::string trimmed;
    } cases[] = {
        {"Velmarquist", "Velmarquist"},
        {"  Velmarquist2\t\r\n", "Velmarquist2"},
        {"\v\fVelmarquist \t", "Velmarquist"},
        {"Internal  Flash", "Internal  Flash"},
        {" \t \n", ""},
        {"", ""},
        {"\xA0Velmarquist\xA0", "\xA0Velmarquist\xA0"},  // only ASCII white space
    };
    for (const auto& c : cases) EXPECT_EQ(TrimWhiteSpace(c.text), c.trimmed) << c.text;
}

TEST(Family, MappingNameIsTrimmedAndNeverReadPastItsField) {
    StdfuMapping entry{};
    const char name[] = " @Velmarquist  ";
    std::copy(std::begin(name), std::end(name), entry.szName);
    EXPECT_EQ(MappingName(entry), "@Velmarquist");

    std::fill(std::begin(entry.szName), std::end(entry.szName), 'A');
    EXPECT_EQ(MappingName(entry), std::string(sizeof entry.szName, 'A'));

    std::memset(entry.szName, 0, sizeof entry.szName);
    EXPECT_EQ(MappingName(entry), "");
}

}  // namespace
}  // namespace device
