#include "net/request_context.h"

#include <gtest/gtest.h>

#include "settings/configuration_manager.h"
#include "testing/fake_system_environment.h"
#include "testing/sample_request.h"

namespace ostrane {
namespace {

// After the campaign reply, under WOW64 on Windows 7.
RequestFacts SampleFacts() {
  RequestFacts facts = testing::SampleRequestFacts();
  facts.campaignCfl = L"cfl-1";
  facts.campaignCh = L"ch-2";
  facts.productName = L"Quillara Caf\u00e9";
  facts.osVersion = "6.1.7601";
  facts.wow64 = true;
  return facts;
}

TEST(RequestContextTest, SignsGuidFollowedByTimestamp) {
  RequestFacts facts = SampleFacts();
  const HeaderList expected = {
      {L"Authorization", L"Signature=6e9732d1f41cbd4a69e9c9ff753448894633465b3ef120946557f50d8dd770c9"}};
  EXPECT_EQ(BuildRequestContext(facts).headers, expected);

  facts.machineGuid.clear();  // unreadable GUID: the timestamp alone is signed
  EXPECT_EQ(BuildRequestContext(facts).headers.at(0).second,
            L"Signature=c0c4e170d51ebb05b4ba85e8ce73438475bac412731ee751a68655c9dc162a4a");
  facts.timestamp.clear();
  EXPECT_EQ(BuildRequestContext(facts).headers.at(0).second,
            L"Signature=e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(RequestContextTest, SkeletonSerialisesInKeyTextOrder) {
  RequestFacts facts = SampleFacts();
  facts.productName = L"Quillara Web";
  const std::string expected =
      R"({"0":"","1":"{8a3e4f1c-0000-4b6e-9d2a-5f1e2d3c4b5a}","10":"","11":"","12":"","13":"","14":"",)"
      R"("15":0,"16":"","17":"","18":"","19":"cfl-1","2":"20240131235959","20":"","21":"ch-2",)"
      R"("22":"Quillara Web","3":"Quillara","31":"6.1.7601","38":"1","4":"QuillaraWeb","5":"","6":"",)"
      R"("7":"1.0.0.7","8":"","9":""})";
  EXPECT_EQ(BuildRequestContext(facts).body.dump(), expected);
}

TEST(RequestContextTest, SettingsTextGoesOutInTheAnsiCodePage) {
  // Latin-1 stands in for the ANSI code page in the native build: é is one byte.
  EXPECT_EQ(BuildRequestContext(SampleFacts()).body["22"], "Quillara Caf\xE9");
}

TEST(RequestContextTest, Wow64FlagIsOneOrZero) {
  RequestFacts facts = SampleFacts();
  facts.wow64 = false;
  EXPECT_EQ(BuildRequestContext(facts).body["38"], "0");
}

TEST(RequestContextTest, FactsComeFromTheSettingsAndStayFixedForTheRun) {
  testing::FakeSystemEnvironment machine;
  machine.machineGuidReads = {"guid-A", "guid-B"};
  machine.localTime.tm_year = 124, machine.localTime.tm_mon = 0, machine.localTime.tm_mday = 31;
  machine.localTime.tm_hour = 23, machine.localTime.tm_min = 59, machine.localTime.tm_sec = 59;
  ConfigurationManager config(machine, BuildOptions{"ISV", true, false, L"c.test", L"d.test", L"w.test", true, ""});
  config.m_campaignCfl = L"cfl";
  config.m_campaignCh = L"ch";

  const RequestContext first = BuildRequestContext(RequestFactsFrom(config, "10.0.19045", false));
  machine.localTime.tm_sec = 58;  // the clock moves on; the run's timestamp does not
  const RequestContext second = BuildRequestContext(RequestFactsFrom(config, "10.0.19045", false));

  EXPECT_EQ(first.body["1"], "guid-A");
  EXPECT_EQ(first.body["2"], "20240131235959");
  EXPECT_EQ(first.body["3"], "Quillara");
  EXPECT_EQ(first.body["4"], "QuillaraWeb");
  EXPECT_EQ(first.body["7"], "1.2.3.4");
  EXPECT_EQ(first.body["19"], "cfl");
  EXPECT_EQ(first.body["21"], "ch");
  EXPECT_EQ(first.body["22"], "Quillara Web");
  EXPECT_EQ(first.body["31"], "10.0.19045");
  EXPECT_EQ(first.body["38"], "0");
  EXPECT_EQ(second.body, first.body);
  EXPECT_EQ(second.headers, first.headers);
}

}  // namespace
}  // namespace ostrane
