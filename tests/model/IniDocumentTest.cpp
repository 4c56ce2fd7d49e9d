#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "model/IniDocument.h"

namespace {

TEST(IniDocument, GetsValuesWithoutRegardToCase) {
  const IniDocument ini(
      "; comment\n"
      "[Settings]\n"
      "Machines = 2 \n"
      "machines=5\n"
      "no equals sign here\n"
      "Empty=\n"
      "[settings]\n"
      "Username=second section\n"
      "[Machine 0]\n"
      "Name=first\n");
  struct Case {
    std::string_view section, key;
    std::optional<std::string_view> value;
  };
  const std::array cases{
      Case{"Settings", "Machines", "2"},  // the first of two keys counts
      Case{"SETTINGS", "MACHINES", "2"},
      Case{"Settings", "Empty", ""},
      Case{"Settings", "Username", std::nullopt},  // only the first section counts
      Case{"machine 0", "name", "first"},
      Case{"Machine 1", "Name", std::nullopt},
      Case{"Settings", "no equals sign here", std::nullopt},
  };
  for (const auto& [section, key, value] : cases) {
    SCOPED_TRACE(std::string(section) + "/" + std::string(key));
    EXPECT_EQ(ini.Get(section, key), value);
  }
}

TEST(IniDocument, SettingChangesOnlyTheValueItSets) {
  struct Case {
    std::string name, before, section, key, value, after;
  };
  const std::vector<Case> cases{
      Case{"replaced where it stands", "; top\n[A]\nx=1\nKey = old\ny=2\n; end\n", "a", "key",
           "new", "; top\n[A]\nx=1\nKey=new\ny=2\n; end\n"},
      Case{"added at the end of its section, before the blank lines", "[A]\nx=1\n\n[B]\ny=2\n", "A",
           "z", "3", "[A]\nx=1\nz=3\n\n[B]\ny=2\n"},
      Case{"section added at the end", "[A]\nx=1\n", "B", "y", "2", "[A]\nx=1\n[B]\ny=2\n"},
      Case{"new file", "", "Settings", "Machines", "0", "[Settings]\nMachines=0\n"},
      Case{"line ends kept", "[A]\r\nx=1\r\n", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n"},
      Case{"byte order mark kept", "\xEF\xBB\xBF[A]\nx=1\n", "A", "x", "2",
           "\xEF\xBB\xBF[A]\nx=2\n"},
      Case{"last line gets its line end", "[A]\nx=1", "A", "x", "2", "[A]\nx=2\n"},
      Case{"line breaks in a value become blanks", "[A]\n", "A", "x", "1\n[B]\r\ny=2",
           "[A]\nx=1 [B]  y=2\n"},
      Case{"a header without a line end gets one", "[A]", "A", "x", "1", "[A]\nx=1\n"},
      Case{"each line keeps its own line end", "[A]\r\nx=1\ny=2\r\nz=3\n", "A", "y", "9",
           "[A]\r\nx=1\ny=9\r\nz=3\n"},
      Case{"a bracket in a value starts no section", "[A]\nx=[B]\n", "B", "y", "1",
           "[A]\nx=[B]\n[B]\ny=1\n"},
      Case{"an indented header is a header", "  [A]\nx=1\n[B]\n", "a", "x", "2",
           "  [A]\nx=2\n[B]\n"},
      Case{"keys found across many blank lines", "[A]\n" + std::string(100000, '\n') + "x=1\n\n",
           "A", "y", "2", "[A]\n" + std::string(100000, '\n') + "x=1\ny=2\n\n"},
  };
  for (const auto& [name, before, section, key, value, after] : cases) {
    SCOPED_TRACE(name);
    IniDocument ini(before);
    ini.Set(section, key, value);
    EXPECT_EQ(ini.Text(), after);
  }
}

TEST(IniDocument, GetsWhatWasSet) {
  IniDocument ini("[A]\nx=1\n");
  ini.Set("A", "x", "2");
  ini.Set("A", "y", "3");
  ini.Set("a", "Y", "4");
  ini.Set("B", "z", "5");
  EXPECT_EQ(ini.Get("A", "x"), "2");
  EXPECT_EQ(ini.Get("A", "y"), "4");
  EXPECT_EQ(ini.Get("b", "Z"), "5");
  EXPECT_EQ(ini.Text(), "[A]\nx=2\ny=4\n[B]\nz=5\n");
}

TEST(IniDocument, UnchangedDocumentWritesBackTheSameText) {
  const std::string text =
      "; kept\n[Settings]\nMachines=1\n\n[Other]\nweird line\n=\n[Machine 0]\nName=x\n; trailing\n";
  EXPECT_EQ(IniDocument(text).Text(), text);
  for (const std::string odd : {"no line end at the end", "[A]\r\nmixed\nends\r", "[[[[", "\n\n"}) {
    EXPECT_EQ(IniDocument(odd).Text(), odd);
  }
}

}  // namespace
