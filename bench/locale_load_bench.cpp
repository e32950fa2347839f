// Locale load: LanguageManager::SetLanguage on the largest load we ship (a DLM wizard
// with the QL page set reads its language's table and the extra texts; Russian is the
// largest table), against tinyxml2 parsing the same two documents alone, each entry's
// text read once (BM_ParseLazy: Parse without reading, for reference). The tables
// are the shipped files, read before timing; the platform is the in-memory one of
// the native tests in both builds (Windows would add a resource lookup and a copy).
#include <benchmark/benchmark.h>
#include <tinyxml2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "locale/language_manager.h"
#include "settings/configuration_manager.h"
#include "testing/fake_locale_platform.h"
#include "testing/fake_system_environment.h"

namespace ostrane {
namespace {

constexpr int kFirstDlmTable = 105;
const char* const kDlmTables[] = {"dlm_en_US.xml", "dlm_es.xml", "dlm_pt_BR.xml", "dlm_pl.xml", "dlm_cs.xml",
                                  "dlm_da.xml",    "dlm_de.xml", "dlm_fi.xml",    "dlm_fr.xml", "dlm_it.xml",
                                  "dlm_nl.xml",    "dlm_pl.xml", "dlm_ru.xml",    "dlm_tr.xml"};

std::string ReadTable(const std::string& name) {
  const char* folder = std::getenv("OSTRANE_LOCALE_DIR");
  const std::string path = std::string(folder != nullptr ? folder : OSTRANE_LOCALE_DIR) + "/" + name;
  std::string bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
    std::fclose(file);
  }
  if (bytes.empty()) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(2);
  }
  return bytes;
}

struct Tables {
  testing::FakeLocalePlatform platform;
  std::string largest;  // the biggest language table's bytes
  int largestIndex = 0;
  std::string extra;

  Tables() {
    for (int i = 0; i < static_cast<int>(std::size(kDlmTables)); ++i) {
      std::string bytes = ReadTable(kDlmTables[i]);
      if (bytes.size() > largest.size()) largest = bytes, largestIndex = i;
      platform.AddTable(kFirstDlmTable + i, std::move(bytes));
    }
    extra = ReadTable("ql_extra.xml");
    platform.AddTable(LanguageManager::kExtraTextsId, extra);
  }
};

void BM_SetLanguage(benchmark::State& state) {
  Tables tables;
  testing::FakeSystemEnvironment environment;
  auto settings = std::make_shared<ConfigurationManager>(
      environment, BuildOptions{"DLM", true, false, L"c.test", L"d.test", L"w.test"});
  settings->m_productName = L"Quillara Web";
  LanguageManager manager(tables.platform, settings);
  testing::FakeLanguageList list;
  manager.FillLanguageCombo(list);
  if (list.names.size() != std::size(kDlmTables) || !tables.platform.messages.empty()) {
    state.SkipWithError("the tables did not load");
    return;
  }
  const std::wstring language = list.names[tables.largestIndex];
  for (auto _ : state) {
    const bool set = manager.SetLanguage(language);
    benchmark::DoNotOptimize(set);
  }
  if (manager.texts().size() < 50 || !tables.platform.messages.empty()) state.SkipWithError("texts missing");
  state.counters["bytes"] = static_cast<double>(tables.largest.size() + tables.extra.size());
  state.counters["texts"] = static_cast<double>(manager.texts().size());
}

// Reads every entry's name and text once: the children of `parent` (a table's Locale
// element; the extra texts' document itself). tinyxml2 decodes a text (entities, line
// ends) when it is first read, not in Parse: a parse whose texts nobody reads has
// skipped part of the parsing.
std::size_t ReadEntries(const tinyxml2::XMLNode* parent) {
  std::size_t characters = 0;
  for (const auto* entry = parent ? parent->FirstChildElement() : nullptr; entry; entry = entry->NextSiblingElement()) {
    characters += std::strlen(entry->Name());
    for (const auto* child = entry->FirstChild(); child; child = child->NextSibling())
      if (child->ToText()) characters += std::strlen(child->Value());
  }
  return characters;
}

// The same two documents, as SetLanguage parses them. With read: each entry's name
// and text read once (the reference of the locale budget); without: Parse alone.
void ParseTables(benchmark::State& state, bool read) {
  Tables tables;
  for (auto _ : state) {
    tinyxml2::XMLDocument table(true, tinyxml2::PRESERVE_WHITESPACE);
    tinyxml2::XMLDocument extra(true, tinyxml2::PRESERVE_WHITESPACE);
    const bool parsed = table.Parse(tables.largest.data(), tables.largest.size()) == tinyxml2::XML_SUCCESS &&
                        extra.Parse(tables.extra.data(), tables.extra.size()) == tinyxml2::XML_SUCCESS;
    if (!parsed) state.SkipWithError("parse failed");
    if (read) {
      std::size_t characters = ReadEntries(table.FirstChildElement("Locale")) + ReadEntries(&extra);
      benchmark::DoNotOptimize(characters);
    }
    benchmark::DoNotOptimize(table);
    benchmark::DoNotOptimize(extra);
  }
  state.counters["bytes"] = static_cast<double>(tables.largest.size() + tables.extra.size());
}

void BM_ParseOnly(benchmark::State& state) { ParseTables(state, true); }
void BM_ParseLazy(benchmark::State& state) { ParseTables(state, false); }

BENCHMARK(BM_ParseLazy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SetLanguage)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ostrane

BENCHMARK_MAIN();
