// The keys' one declaration against what a player reads: the shipped INI and the docs' table.
#include "config/settings_table.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "config/plugin_config.h"
#include "support/build_paths.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

struct Written {
  std::string value;        // the shipped INI's value, or the docs' "Shipped" cell
  std::string defaultText;  // its "Default: ..." comment, or the docs' "Default" cell
  std::string range;        // the docs' "Range" cell
};

std::string Declared(uint32_t key) {
  return test::ToUtf8(kSettings[key].section) + "/" + test::ToUtf8(kSettings[key].name);
}

std::string Trim(std::string text) {
  const size_t first = text.find_first_not_of(" \t\r`");
  const size_t last = text.find_last_not_of(" \t\r`");
  return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

std::string Source(const wchar_t* relative) {
  return test::ReadFileBytes(std::wstring(DRIFTGLASS_SOURCE_DIR) + L"\\" + relative);
}

// "Section/Key" -> what the shipped INI says: its value and the default its comment names.
std::map<std::string, Written> ShippedIni() {
  std::map<std::string, Written> keys;
  std::istringstream lines(Source(L"config\\Driftglass.ini"));
  std::string line, section, defaultText;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty()) continue;
    if (line[0] == ';') {
      const size_t at = line.find("Default: ");
      if (at != std::string::npos) defaultText = line.substr(at + 9, line.find_first_of(" .", at + 9) - at - 9);
    } else if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
    } else {
      const size_t equals = line.find('=');
      keys[section + "/" + line.substr(0, equals)] = {line.substr(equals + 1), defaultText, ""};
      defaultText.clear();
    }
  }
  return keys;
}

// "Section/Key" -> the row of docs/configuration.md's table of every key.
std::map<std::string, Written> DocsTable() {
  std::map<std::string, Written> keys;
  std::istringstream lines(Source(L"docs\\configuration.md"));
  std::string line;
  bool inTable = false;
  while (std::getline(lines, line)) {
    if (line.rfind("| Section | Key | Default | Shipped | Range |", 0) == 0) inTable = true;
    if (!inTable) continue;
    if (line.rfind("|", 0) != 0) break;
    std::vector<std::string> cells;
    std::istringstream row(line.substr(1));
    for (std::string cell; std::getline(row, cell, '|');) cells.push_back(Trim(cell));
    if (cells.size() < 5 || cells[0] == "Section" || cells[0].rfind("---", 0) == 0) continue;
    keys[cells[0] + "/" + cells[1]] = {cells[3], cells[2], cells[4]};
  }
  return keys;
}

std::string RangeOf(const SettingDeclaration& s) {
  switch (s.kind) {
    case SettingKind::kBool: return "boolean";
    case SettingKind::kKey: return "a key name, or nothing";
    default: return std::to_string(s.minimum) + ".." + std::to_string(s.maximum);
  }
}

TEST(SettingsTable, EveryKeyIsInTheShippedIniAndTheDocsAsDeclaredAndNothingElseIs) {
  std::map<std::string, Written> ini = ShippedIni();
  std::map<std::string, Written> docs = DocsTable();
  ASSERT_FALSE(ini.empty());
  ASSERT_FALSE(docs.empty());
  for (const SettingDeclaration& s : kSettings) {
    const std::string key = Declared(s.key);
    SCOPED_TRACE(key);
    const std::string shipped = test::ToUtf8(s.shipped);
    const std::string defaultText = test::ToUtf8(FormatSettingValue(s.key, s.defaultValue));
    ASSERT_EQ(ini.count(key), 1u) << "in config/Driftglass.ini";
    EXPECT_EQ(ini[key].value, shipped);
    EXPECT_EQ(ini[key].defaultText, defaultText);
    ASSERT_EQ(docs.count(key), 1u) << "in docs/configuration.md";
    EXPECT_EQ(docs[key].value, shipped);
    EXPECT_EQ(docs[key].defaultText, defaultText);
    EXPECT_EQ(docs[key].range, RangeOf(s));
    // What ships is a value the reader takes.
    ProfileValue raw;
    raw.present = true;
    raw.raw = s.shipped;
    uint32_t value = 0;
    std::wstring error;
    EXPECT_TRUE(ReadSetting(s, raw, value, error)) << test::ToUtf8(error);
    ini.erase(key);
    docs.erase(key);
  }
  for (const auto& [key, written] : ini) ADD_FAILURE() << key << " is in config/Driftglass.ini but not declared";
  for (const auto& [key, written] : docs) ADD_FAILURE() << key << " is in docs/configuration.md but not declared";
}

}  // namespace
}  // namespace driftglass
