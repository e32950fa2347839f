#include "settings/configuration_manager.h"

#include <gtest/gtest.h>

#include "testing/fake_system_environment.h"

namespace ostrane {
namespace {

using testing::FakeSystemEnvironment;

BuildOptions Options(const std::string& wizardType) {
  return BuildOptions{wizardType, true, false, L"campaign.test", L"download.test", L"www.test", true, ""};
}

class ConfigurationManagerTest : public ::testing::Test {
 protected:
  ConfigurationManagerTest() {
    machine.UseTypicalFolders();
    machine.knownFolders[KnownFolder::Downloads] = L"C:\\Users\\u\\Downloads";
  }
  FakeSystemEnvironment machine;
};

TEST_F(ConfigurationManagerTest, IsvConstants) {
  ConfigurationManager settings(machine, Options("ISV"));
  EXPECT_EQ(settings.m_wizardType, 2);
  EXPECT_TRUE(settings.m_qlFlavour);
  EXPECT_FALSE(settings.m_classicMode);
  EXPECT_TRUE(settings.m_mainFailureCode3);
  EXPECT_EQ(settings.m_productName, L"Quillara Web");
  EXPECT_EQ(settings.m_downloadUrl, L"https://download.test/endpoint/qlweb/os/riserollout/track/beta");
  EXPECT_EQ(settings.m_privacyUrl, L"https://www.test/legal/privacy-policy/");
  EXPECT_EQ(settings.m_termsUrl, L"https://www.test/legal/terms-of-use/");
  EXPECT_EQ(settings.m_silentArgs, L"/S");
  EXPECT_EQ(settings.m_launchPath, L"{commonappdata}\\Quillara Web\\qlweb.exe");
  EXPECT_EQ(settings.m_launchArgs, L"/RUNONSTARTUP");
  EXPECT_EQ(settings.m_workFolder, machine.tempWorkFolder);
  EXPECT_EQ(settings.m_downloadFolder, machine.tempWorkFolder);
  EXPECT_EQ(settings.m_fileVersion, L"1.2.3.4");
  EXPECT_EQ(settings.m_configUrl, L"https://campaign.test/o");
  EXPECT_EQ(settings.m_analyticsUrl, L"https://campaign.test/zbd");
  EXPECT_EQ(settings.m_fileBaseUrl, L"https://campaign.test/f/");
  EXPECT_EQ(settings.m_brand, L"Quillara");
  EXPECT_EQ(settings.m_productId, L"QuillaraWeb");
  EXPECT_EQ(settings.m_sourceTag, L"QuillaraWeb_CPP");
  EXPECT_EQ(settings.m_backgroundColour, 0xFFFFFFu);
  EXPECT_EQ(settings.m_accentColour, 0x993367u);
  EXPECT_TRUE(settings.m_sdkLicenseUrl.empty());
  EXPECT_TRUE(machine.messages.empty());
}

TEST_F(ConfigurationManagerTest, DlmLeavesProductValuesToTheCampaign) {
  ConfigurationManager settings(machine, Options("DLM"));
  EXPECT_EQ(settings.m_wizardType, 1);
  EXPECT_TRUE(settings.m_productName.empty());
  EXPECT_TRUE(settings.m_downloadUrl.empty());
  EXPECT_TRUE(settings.m_silentArgs.empty());
  EXPECT_TRUE(settings.m_launchPath.empty());
  EXPECT_EQ(settings.m_downloadFolder, L"C:\\Users\\u\\Downloads");
  EXPECT_EQ(settings.m_workFolder, machine.tempWorkFolder);
  EXPECT_EQ(settings.m_productId, L"QuillaraWeb");
}

TEST_F(ConfigurationManagerTest, DlmDownloadFolderFallsBackInOrder) {
  machine.knownFolders.erase(KnownFolder::Downloads);
  machine.documentsFolder = L"C:\\Users\\u\\Documents";
  EXPECT_EQ(ConfigurationManager(machine, Options("DLM")).m_downloadFolder, L"C:\\Users\\u\\Documents");
  machine.documentsFolder.clear();
  EXPECT_EQ(ConfigurationManager(machine, Options("DLM")).m_downloadFolder, L"C:\\Temp\\");
  machine.tempPath.clear();
  EXPECT_EQ(ConfigurationManager(machine, Options("DLM")).m_downloadFolder, L"C:\\");
}

TEST_F(ConfigurationManagerTest, UnknownWizardTypeSaysSoAndSetsNothingPerType) {
  ConfigurationManager settings(machine, Options("XYZ"));
  EXPECT_EQ(settings.m_wizardType, 0);
  EXPECT_EQ(machine.messages, std::vector<std::wstring>{L"Unknown wizard type"});
  EXPECT_TRUE(settings.m_productName.empty());
  EXPECT_TRUE(settings.m_workFolder.empty());
  EXPECT_EQ(machine.tempFolderRequests, 0);
  EXPECT_EQ(settings.m_configUrl, L"https://campaign.test/o");  // common constants still set
}

TEST_F(ConfigurationManagerTest, UnusableTempFolderLeavesBothFoldersEmpty) {
  machine.workFolderExists = false;
  ConfigurationManager isv(machine, Options("ISV"));
  EXPECT_TRUE(isv.m_workFolder.empty());
  EXPECT_TRUE(isv.m_downloadFolder.empty());
  ConfigurationManager dlm(machine, Options("DLM"));
  EXPECT_TRUE(dlm.m_workFolder.empty());
  EXPECT_EQ(dlm.m_downloadFolder, L"C:\\Users\\u\\Downloads");
}

TEST_F(ConfigurationManagerTest, TimestampIsFixedByTheFirstCall) {
  ConfigurationManager settings(machine, Options("ISV"));
  machine.localTime = std::tm{};
  machine.localTime.tm_year = 126, machine.localTime.tm_mon = 11, machine.localTime.tm_mday = 9;
  machine.localTime.tm_hour = 8, machine.localTime.tm_min = 5, machine.localTime.tm_sec = 6;
  EXPECT_EQ(settings.LocalTimeText(), "20261209080506") << "a reading that fixes nothing (the log's name)";
  machine.localTime.tm_sec = 7;
  EXPECT_EQ(settings.GetTimestamp(), "20261209080507");
  machine.localTime.tm_sec = 8;
  EXPECT_EQ(settings.GetTimestamp(), "20261209080507");
}

TEST_F(ConfigurationManagerTest, FailedLocalTimeIsRetried) {
  ConfigurationManager settings(machine, Options("ISV"));
  machine.localTimeFails = true;
  EXPECT_EQ(settings.GetTimestamp(), "");
  machine.localTimeFails = false;
  machine.localTime.tm_year = 100, machine.localTime.tm_mday = 1;
  EXPECT_EQ(settings.GetTimestamp(), "20000101000000");
}

TEST_F(ConfigurationManagerTest, MachineGuidIsReadUntilFoundThenKept) {
  ConfigurationManager settings(machine, Options("ISV"));
  machine.machineGuidReads = {"", "guid-1", "guid-2"};
  EXPECT_EQ(settings.GetMachineGuid(), "");
  EXPECT_EQ(settings.GetMachineGuid(), "guid-1");
  EXPECT_EQ(settings.GetMachineGuid(), "guid-1");
}

TEST_F(ConfigurationManagerTest, PlaceholdersUnderWow64) {
  ConfigurationManager settings(machine, Options("ISV"));
  EXPECT_EQ(settings.ExpandPathPlaceholders(L"{commonpf}\\App\\app.exe"), L"C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(settings.ExpandPathPlaceholders(L"{commonappdata}\\Quillara Web\\qlweb.exe"),
            L"C:\\Users\\u\\AppData\\Roaming\\Quillara Web\\qlweb.exe");
  EXPECT_EQ(settings.ExpandPathPlaceholders(L"{programdata}|{localappdata}"),
            L"C:\\ProgramData|C:\\Users\\u\\AppData\\Local");
  const PathPlaceholders only64 = settings.GetPathPlaceholders64();
  ASSERT_EQ(only64.entries().size(), 1u);
  EXPECT_EQ(*only64.Find(L"commonpf64"), L"C:\\Program Files");
}

TEST_F(ConfigurationManagerTest, PlaceholdersOnThirtyTwoBitWindows) {
  machine.wow64 = false;
  ConfigurationManager settings(machine, Options("ISV"));
  EXPECT_EQ(settings.ExpandPathPlaceholders(L"{commonpf}\\App\\app.exe"), L"C:\\Program Files (x86)\\App\\app.exe");
  EXPECT_EQ(settings.ExpandPathPlaceholders(L"{commonpf64}\\x"), L"{commonpf64}\\x");
  EXPECT_TRUE(settings.GetPathPlaceholders64().empty());
}

TEST_F(ConfigurationManagerTest, ProgramW6432OnlyWithOneTo259Characters) {
  const struct {
    std::optional<std::wstring> value;
    bool entered;
  } cases[] = {{std::nullopt, false},
               {L"", false},
               {std::wstring(259, L'x'), true},
               {std::wstring(260, L'x'), false}};
  for (const auto& c : cases) {
    machine.environmentVariables.clear();
    if (c.value) machine.environmentVariables[L"ProgramW6432"] = *c.value;
    ConfigurationManager settings(machine, Options("ISV"));
    EXPECT_EQ(settings.GetPathPlaceholders().Find(L"commonpf64") != nullptr, c.entered)
        << (c.value ? c.value->size() : -1);
    // Without the entry the placeholder survives, so "{commonpf}" stays half expanded.
    if (!c.entered) {
      EXPECT_EQ(settings.ExpandPathPlaceholders(L"{commonpf}"), L"{commonpf64}");
    }
  }
}

TEST_F(ConfigurationManagerTest, MissingKnownFolderExpandsToEmpty) {
  machine.knownFolders.erase(KnownFolder::ProgramData);
  ConfigurationManager settings(machine, Options("ISV"));
  EXPECT_EQ(settings.ExpandPathPlaceholders(L"{programdata}\\x"), L"\\x");
}

}  // namespace
}  // namespace ostrane
