// The firmware set loaded for an accepted device, in the real dialog against the simulated device
// and the real toolkit: which file goes into which slot, when "Upgrade" is enabled, and the reset
// of the upgrade display.
#include "device/tests/dialog_rig.h"

namespace {

using rig::kConnected;

constexpr size_t kProg = 100, kProg2 = 200, kDunor = 300, kFile3 = 400;

sim::Config ThreeTargets(const std::string& name = "Velmarquist") {
    return rig::DeviceConfig({"@" + name + " /0x08000000/04*016Kg", "@Dunor /0x08000000/04*016Kg",
                              "@Extra /0x08000000/04*016Kg"});
}

class FirmwareSet : public rig::DialogTest {
protected:
    void WriteAll() {
        rig::WriteFirmwareFile(L"prog.dfu", {kProg});
        rig::WriteFirmwareFile(L"prog2.dfu", {kProg2});
        rig::WriteFirmwareFile(L"Dunorfile.dfu", {kDunor});
        rig::WriteFirmwareFile(L"file3.dfu", {kFile3});
    }
    std::string MainFileDebugText(const char* file) const {
        return "DFU:" + rig::Utf8(rig::ExeFolder()) + "\\" + file + "\n";
    }
};

// ---- The family, by the name of the first mapping entry

struct Family {
    const char* name;       // area name of the device's first alternate setting
    size_t mainImage;       // size of the image in slot 0; 0: nothing loaded
    const char* mainFile;   // the file named in the debug text; null: none
};

class FamilyName : public FirmwareSet, public ::testing::WithParamInterface<Family> {};

TEST_P(FamilyName, ChoosesTheMainFile) {
    const Family& c = GetParam();
    WriteAll();
    Plug(ThreeTargets(c.name));
    Open();
    EXPECT_EQ(Status(), kConnected) << "the status line says connected whatever the family";
    const bool known = c.mainFile != nullptr;
    const std::vector<uint32_t> loaded{uint32_t(c.mainImage), kDunor, kFile3};
    EXPECT_EQ(ImageSizes(), known ? loaded : std::vector<uint32_t>(3, 0));
    EXPECT_EQ(UpgradeEnabled(), known);
    const std::string debug = m_debug->text();
    EXPECT_EQ(debug.substr(debug.find("\n\n") + 2), known ? MainFileDebugText(c.mainFile) : "");
}

INSTANTIATE_TEST_SUITE_P(, FamilyName,
                         ::testing::Values(Family{"Velmarquist", kProg, "prog.dfu"},
                                           Family{"Velmarquist2", kProg2, "prog2.dfu"},
                                           Family{"vELMARQUIST", kProg, "prog.dfu"},
                                           Family{"VELMARQUIST2", kProg2, "prog2.dfu"},
                                           Family{"Velmarquist3", 0, nullptr},
                                           Family{"Velmarquist2x", 0, nullptr},
                                           Family{"Velmarquis", 0, nullptr},
                                           Family{"", 0, nullptr}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             return n.empty() ? std::string("Empty") : n;
                         });

// ---- Slots and the Upgrade button

TEST_F(FirmwareSet, MainFileMissingLeavesSlot0EmptyAndLoadsTheOthers) {
    rig::WriteFirmwareFile(L"Dunorfile.dfu", {kDunor});
    Plug(ThreeTargets());
    Open();
    EXPECT_EQ(ImageSizes(), (std::vector<uint32_t>{0, kDunor, 0}));
    EXPECT_TRUE(UpgradeEnabled());
    // The main file's path is written even though it is missing; the others' never.
    EXPECT_EQ(m_debug->text().substr(m_debug->text().find("\n\n") + 2), MainFileDebugText("prog.dfu"));
}

TEST_F(FirmwareSet, NoFileAtAllLeavesUpgradeDisabled) {
    Plug(ThreeTargets());
    Open();
    EXPECT_EQ(ImageSizes(), (std::vector<uint32_t>{0, 0, 0}));
    EXPECT_FALSE(m_dlg->m_bFilesLoaded);
    EXPECT_FALSE(UpgradeEnabled());
}

TEST_F(FirmwareSet, DeviceThatCannotDownloadLoadsEverythingButLeavesUpgradeDisabled) {
    WriteAll();
    sim::Config config = ThreeTargets();
    config.device.attributes = 0x0A;
    Plug(config);
    Open();
    EXPECT_EQ(ImageSizes(), (std::vector<uint32_t>{kProg, kDunor, kFile3}));
    EXPECT_TRUE(m_dlg->m_bFilesLoaded);
    EXPECT_FALSE(UpgradeEnabled());
}

TEST_F(FirmwareSet, OnlyTheFirstImageOfAFileIsTaken) {
    rig::WriteFirmwareFile(L"prog.dfu", {123, 456, 789});
    Plug(ThreeTargets());
    Open();
    EXPECT_EQ(ImageSizes(), (std::vector<uint32_t>{123, 0, 0}));
}

TEST_F(FirmwareSet, SlotWithoutAMappingEntryStaysEmpty) {
    WriteAll();
    Plug(rig::DeviceConfig({"@Velmarquist /0x08000000/04*016Kg", "@Dunor /0x08000000/04*016Kg"}));
    Open();
    ASSERT_EQ(m_dlg->m_nMappingCount, 2u);
    EXPECT_EQ(ImageSizes(), (std::vector<uint32_t>{kProg, kDunor, 0}));
    EXPECT_TRUE(UpgradeEnabled());
}

// ---- The reset

TEST_F(FirmwareSet, LoadingResetsTheUpgradeDisplay) {
    WriteAll();
    Plug(ThreeTargets());
    Open();
    m_dlg->m_ctrlProgress.SetPos(70);
    m_dlg->m_ctrlProgress.SetWindowText(L"Write 70% (2/2)");
    m_dlg->m_ctrlProgress.SetShowText(false);
    m_dlg->UpdateData(true);
    m_dlg->m_strDuration = L"00:01:05";
    m_dlg->m_strTransferred = L"5 KB(5120 Bytes) of 6 KB(6144 Bytes)";
    m_dlg->UpdateData(false);

    m_dlg->LoadFirmwareFiles();
    EXPECT_EQ(Text(IDC_DURATION), L"00:00:00");
    EXPECT_EQ(Text(IDC_SIZE), L"0 KB(0 Bytes) of 0 KB(0 Bytes)");
    EXPECT_EQ(ProgressShown(), 0);
    EXPECT_EQ(m_dlg->m_ctrlProgress.GetWindowText(), L"");
    EXPECT_EQ(ImageSizes(), (std::vector<uint32_t>{kProg, kDunor, kFile3}));
}

TEST_F(FirmwareSet, ResetReleasesEveryImage) {
    WriteAll();
    Plug(ThreeTargets());
    Open();
    uint32_t work = 0;
    ASSERT_EQ(STDFUFILES_DuplicateImage(m_dlg->m_hImages[0], &work), STDFU_OK);
    m_dlg->m_hWorkImage = work;

    m_dlg->ResetUpgradeState();
    EXPECT_EQ(m_dlg->m_hWorkImage, 0u);
    EXPECT_EQ(ImageSizes(), (std::vector<uint32_t>{0, 0, 0}));
    EXPECT_FALSE(m_dlg->m_bFilesLoaded);
    EXPECT_FALSE(UpgradeEnabled());
    // TearDown checks that no handle is left alive.
}

}  // namespace
