#include <gtest/gtest.h>

#include <sys/stat.h>
#include <array>
#include <filesystem>
#include <functional>
#include <random>

#include "model/Password.h"
#include "model/SettingsFile.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

Model Loaded(std::string_view text) {
  Model model;
  LoadSettingsText(text, model);
  return model;
}

// The configured part of a machine: what the settings file holds.
void ExpectSameMachines(const MachineTable& actual, const MachineTable& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(actual[i].Name, expected[i].Name);
    EXPECT_EQ(actual[i].FactorPath, expected[i].FactorPath);
    EXPECT_EQ(actual[i].StatusPath, expected[i].StatusPath);
    EXPECT_EQ(actual[i].LastOldFactor, expected[i].LastOldFactor);
  }
}

Model SampleModel() {
  Model model;
  Settings& options = model.Options;
  options.LaunchCopyNewURL = false;
  options.CopyNewURL = "http://example.org/copy";
  options.SpeedAvgIntervals = 12;
  options.Login = false;
  options.Username = "sieve fan";
  options.Password = "s3cret";
  options.AutoRefresh = true;
  options.AutoSubmit = true;
  options.AutoTimerInterval = 30;
  options.IgnoreErrors = true;
  options.StalledMinutes = 45;
  options.DryHours = 6;
  options.Window = {1200, 700, {400, 250}, {90, 120, 0, 75}, 4, true, false, "stalled box"};
  model.Machines = {
      Machine("alpha", "C:\\Sieve\\fact.txt", "C:\\Sieve\\QsvStatus.dat", 1234567890123),
      Machine("", "http://10.1.1.1/fact.txt", "http://10.1.1.1/QsvStatus.dat", 0),
      Machine("alpha", "/srv/b/fact.txt", "/srv/b/QsvStatus.dat", UINT64_MAX),
  };
  return model;
}

TEST(SettingsFile, MissingFileGivesTheDefaults) {
  TempDir dir;
  Model model = SampleModel();
  ASSERT_TRUE(LoadSettings(dir.file("quillstrand.ini"), model));
  EXPECT_TRUE(model.Machines.empty());
  EXPECT_EQ(model.Options, Settings{});
  EXPECT_EQ(model.Options.Username, "");
  EXPECT_TRUE(model.Options.Login);
  EXPECT_TRUE(model.Options.LaunchCopyNewURL);
  EXPECT_EQ(model.Options.SpeedAvgIntervals, 5u);
  EXPECT_EQ(model.Options.AutoTimerInterval, 1440u);
}

TEST(SettingsFile, FirstSaveWritesEveryKeyInOrder) {
  TempDir dir;
  Model model;
  model.Machines.push_back(Machine("m", "f", "s", 7));
  ASSERT_TRUE(SaveSettings(dir.file("quillstrand.ini"), model));
  EXPECT_EQ(ReadFile(dir.file("quillstrand.ini")),
            "[Settings]\n"
            "Machines=1\n"
            "LaunchCopyNewURL=1\n"
            "CopyNewURL=http://qv.example.org/sieve/\n"
            "SpeedAvgIntervals=5\n"
            "Username=\n"
            "Password=\n"
            "Login=1\n"
            "AutoRefresh=0\n"
            "AutoSubmit=0\n"
            "AutoTimerInterval=1440\n"
            "IgnoreErrors=0\n"
            "StalledMinutes=30\n"
            "DryHours=24\n"
            "[Machine 0]\n"
            "Name=m\n"
            "FactorPath=f\n"
            "StatusPath=s\n"
            "LastOldFactor=7\n");
}

TEST(SettingsFile, SavedModelLoadsBackTheSame) {
  TempDir dir;
  const std::string path = dir.file("quillstrand.ini");
  const Model saved = SampleModel();
  ASSERT_TRUE(SaveSettings(path, saved));
  Model loaded;
  ASSERT_TRUE(LoadSettings(path, loaded));
  EXPECT_EQ(loaded.Options, saved.Options);
  ExpectSameMachines(loaded.Machines, saved.Machines);
}

TEST(SettingsFile, HandWrittenFileLoadsLikeTheProgramsOwn) {
  // As a user would type it: other case, blanks, Windows line ends, and
  // the keys in another order.
  const Model handWritten = Loaded(
      "[SETTINGS]\r\n"
      "machines = 3\r\n"
      "Password=" +
      EncodePassword("s3cret") +
      "\r\n"
      "username = sieve fan\r\n"
      "LaunchCopyNewURL=0\r\nCopyNewURL=http://example.org/copy\r\n"
      "SpeedAvgIntervals=12\r\nLogin=0\r\nAutoRefresh=1\r\nAutoSubmit=7\r\n"
      "AutoTimerInterval=30\r\nIgnoreErrors=1\r\n"
      "StalledMinutes = 45\r\nDryHours=6\r\nWindowWidth=1200\r\nWindowHeight=700\r\n"
      "SplitterSizes=400,250\r\nColumnWidths=90, 120,0,75\r\n"
      "SortColumn=4\r\nSortDescending=1\r\nMachineFilter=stalled box\r\n"
      "\r\n"
      "[machine 2]\r\nname=alpha\r\nFactorPath=/srv/b/fact.txt\r\n"
      "StatusPath=/srv/b/QsvStatus.dat\r\nLastOldFactor=18446744073709551615\r\n"
      "[Machine 0]\r\nName=alpha\r\nFactorPath=C:\\Sieve\\fact.txt\r\n"
      "StatusPath=C:\\Sieve\\QsvStatus.dat\r\nLastOldFactor=1234567890123\r\n"
      "[Machine 1]\r\nFactorPath=http://10.1.1.1/fact.txt\r\n"
      "StatusPath=http://10.1.1.1/QsvStatus.dat\r\n");
  const Model expected = SampleModel();
  EXPECT_EQ(handWritten.Options, expected.Options);
  ExpectSameMachines(handWritten.Machines, expected.Machines);

  TempDir dir;
  const std::string path = dir.file("quillstrand.ini");
  ASSERT_TRUE(SaveSettings(path, expected));
  Model programWritten;
  ASSERT_TRUE(LoadSettings(path, programWritten));
  EXPECT_EQ(programWritten.Options, handWritten.Options);
  ExpectSameMachines(programWritten.Machines, handWritten.Machines);
}

TEST(SettingsFile, ValuesOutOfRangeAreBroughtIn) {
  struct Case {
    std::string_view line;
    uint32_t speedAvgIntervals, autoTimerInterval;
  };
  const std::array cases{
      Case{"SpeedAvgIntervals=0", 1, 1440},
      Case{"SpeedAvgIntervals=abc", 1, 1440},
      Case{"SpeedAvgIntervals=99999999999", UINT32_MAX, 1440},
      Case{"AutoTimerInterval=0", 5, 1},
      Case{"AutoTimerInterval=71582", 5, 71582},
      Case{"AutoTimerInterval=71583", 5, 71582},
      Case{"AutoTimerInterval=-5", 5, 1},
      Case{"AutoTimerInterval=60 minutes", 5, 60},
  };
  for (const auto& [line, speedAvgIntervals, autoTimerInterval] : cases) {
    SCOPED_TRACE(line);
    const Model model = Loaded("[Settings]\n" + std::string(line) + "\n");
    EXPECT_EQ(model.Options.SpeedAvgIntervals, speedAvgIntervals);
    EXPECT_EQ(model.Options.AutoTimerInterval, autoTimerInterval);
  }
}

TEST(SettingsFile, HealthLimitsAreBroughtIntoTheirRange) {
  struct Case {
    std::string_view line;
    uint32_t stalledMinutes, dryHours;
  };
  const std::array cases{
      Case{"StalledMinutes=0", 1, 24},
      Case{"StalledMinutes=1", 1, 24},
      Case{"StalledMinutes=10080", 10080, 24},
      Case{"StalledMinutes=10081", 10080, 24},
      Case{"StalledMinutes=soon", 1, 24},
      Case{"DryHours=0", 30, 1},
      Case{"DryHours=8760", 30, 8760},
      Case{"DryHours=99999999999", 30, 8760},
      Case{"DryHours=12h", 30, 12},
  };
  for (const auto& [line, stalledMinutes, dryHours] : cases) {
    SCOPED_TRACE(line);
    const Model model = Loaded("[Settings]\n" + std::string(line) + "\n");
    EXPECT_EQ(model.Options.StalledMinutes, stalledMinutes);
    EXPECT_EQ(model.Options.DryHours, dryHours);
  }
}

TEST(SettingsFile, BadWindowLayoutReadsAsNeverSaved) {
  using Extents = std::vector<int32_t>;
  struct Case {
    std::string_view lines;
    WindowLayout window;
  };
  const std::array cases{
      Case{"WindowWidth=800\nWindowHeight=600", {800, 600, {}, {}}},
      Case{"WindowWidth=-800\nWindowHeight=wide", {}},
      Case{"WindowWidth=32767\nWindowHeight=32768", {32767, 0, {}, {}}},
      Case{"SplitterSizes=300,0,200", {0, 0, Extents{300, 0, 200}, {}}},
      Case{"SplitterSizes=", {}},
      Case{"SplitterSizes=300,", {}},
      Case{"SplitterSizes=,300", {}},
      Case{"SplitterSizes=300;200", {}},
      Case{"ColumnWidths=80,-1,90", {}},
      Case{"ColumnWidths=80,99999,90", {}},
      Case{"ColumnWidths=80,,90", {}},
      Case{"ColumnWidths=80 90", {}},
      Case{"SortColumn=0\nSortByHealth=1\nMachineFilter=dry",
           {0, 0, {}, {}, 0, false, true, "dry"}},
      Case{"SortColumn=\nSortDescending=1", {0, 0, {}, {}, std::nullopt, true}},
      Case{"SortColumn=-1", {}},
      Case{"SortColumn=3rd", {}},
      Case{"SortColumn=99999", {}},
  };
  for (const auto& [lines, window] : cases) {
    SCOPED_TRACE(lines);
    const Model model = Loaded("[Settings]\n" + std::string(lines) + "\n");
    EXPECT_EQ(model.Options.Window, window);
  }
}

TEST(SettingsFile, LastOldFactorReadsItsLeadingDigits) {
  struct Case {
    std::string_view value;
    uint64_t lastOld;
  };
  const std::array cases{
      Case{"4294967296", 4294967296},
      Case{"18446744073709551615", UINT64_MAX},
      Case{"   123abc", 123},
      Case{"abc", 0},
      Case{"", 0},
      Case{"-5", 0},
      Case{"18446744073709551616", 0},
  };
  for (const auto& [value, lastOld] : cases) {
    SCOPED_TRACE(value);
    const Model model =
        Loaded("[Settings]\nMachines=1\n[Machine 0]\nLastOldFactor=" + std::string(value) + "\n");
    ASSERT_EQ(model.Machines.size(), 1u);
    EXPECT_EQ(model.Machines[0].LastOldFactor, lastOld);
  }
}

// Every machine section below the count is read, however many; a count
// beyond the sections present makes no machines of nothing and says so;
// and saving the table read writes no section that was not there.
TEST(SettingsFile, MachinesAreTheSectionsPresentBelowTheCount) {
  const std::string twoSections = "[Machine 0]\nName=a\n[machine 2]\nName=c\n";
  const auto told = [](const char* count, int read) {
    return "\"Machines\" is "s + count + ", but the file holds " + std::to_string(read) +
           " of those machine sections; the " + std::to_string(read) + " are read";
  };
  struct Case {
    std::string count;
    std::vector<std::string> names;
    std::string warning;
    int sectionsSaved;  // [Settings] included
  };
  const std::array cases{
      Case{"2", {"a"}, told("2", 1), 3},
      // "c" is the second machine now, in the second machine section.
      Case{"3", {"a", "c"}, told("3", 2), 4},
      Case{"1", {"a"}, "", 3},
      Case{"0", {}, "", 3},
      Case{"-5", {}, "", 3},
      Case{"x", {}, "", 3},
      Case{"99999999", {"a", "c"}, told("99999999", 2), 4},
      Case{"99999999999999999999999", {"a", "c"}, told("4294967295", 2), 4},
  };
  for (const auto& [count, names, warning, sectionsSaved] : cases) {
    SCOPED_TRACE(count);
    const std::string text = "[Settings]\nMachines=" + count + "\n" + twoSections;
    Model model;
    EXPECT_EQ(LoadSettingsText(text, model), warning);
    std::vector<std::string> read;
    for (const Machine& machine : model.Machines) read.push_back(machine.Name);
    EXPECT_EQ(read, names);

    // Marking the last machine makes no empty machine sections.
    if (!model.Machines.empty()) model.Machines.back().LastOldFactor = 7;
    const std::string saved = SaveSettingsText(text, model);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '['), sectionsSaved) << saved;
    Model reloaded;
    EXPECT_EQ(LoadSettingsText(saved, reloaded), "");
    ExpectSameMachines(reloaded.Machines, model.Machines);
  }
}

TEST(SettingsFile, AHundredThousandMachinesAreKeptAndSavedBack) {
  constexpr size_t kMachines = 100'000;
  std::string text = "[Settings]\nMachines=" + std::to_string(kMachines) + "\n";
  for (size_t i = 0; i < kMachines; ++i)
    text +=
        "[Machine " + std::to_string(i) + "]\nName=m" + std::to_string(i) + "\nLastOldFactor=5\n";
  Model model;
  EXPECT_EQ(LoadSettingsText(text, model), "");
  ASSERT_EQ(model.Machines.size(), kMachines);
  EXPECT_EQ(model.Machines.back().Name, "m99999");
  model.Machines[kMachines / 2].LastOldFactor = 6;
  const std::string saved = SaveSettingsText(text, model);
  Model reloaded;
  LoadSettingsText(saved, reloaded);
  ExpectSameMachines(reloaded.Machines, model.Machines);
}

TEST(SettingsFile, SaveKeepsWhatItDoesNotOwn) {
  TempDir dir;
  const std::string path = dir.write("quillstrand.ini",
                                     "; my farm\n"
                                     "[Settings]\n"
                                     "Machines=3\n"
                                     "Theme=dark\n"
                                     "Username=old\n"
                                     "\n"
                                     "[Machine 0]\n"
                                     "[Machine 1]\n"
                                     "[Machine 2]\n"
                                     "Name=gone\n"
                                     "Note=keep me\n"
                                     "[Extra]\n"
                                     "x=1\n"
                                     "; the end\n");
  Model model;
  ASSERT_TRUE(LoadSettings(path, model));
  model.Machines.pop_back();  // the user deleted the last machine
  model.Options.Username = "new";
  ASSERT_TRUE(SaveSettings(path, model));

  const std::string text = ReadFile(path);
  EXPECT_TRUE(text.starts_with("; my farm\n[Settings]\nMachines=2\nTheme=dark\nUsername=new\n"))
      << text;
  EXPECT_NE(text.find("[Machine 2]\nName=gone\nNote=keep me\n[Extra]\nx=1\n; the end\n"),
            std::string::npos)
      << text;
  Model reloaded;
  ASSERT_TRUE(LoadSettings(path, reloaded));
  EXPECT_EQ(reloaded.Machines.size(), 2u);
}

// A save rewrites a line only when its value changes: an unchanged one
// stays byte for byte, whatever blanks or trailing text it holds.
TEST(SettingsFile, UnchangedLinesStayByteForByte) {
  const std::string file =
      "[Settings]\r\n"
      "Machines=1 ; one machine\r\n"
      "  Username = sp \r\n"
      "Login=2\r\n"
      "AutoTimerInterval=0\r\n"
      "LaunchCopyNewURL=1\r\nCopyNewURL=u\r\nSpeedAvgIntervals=5\r\nPassword=\r\n"
      "AutoRefresh=0\r\nAutoSubmit=0\r\nIgnoreErrors=0\r\nStalledMinutes=30\r\nDryHours=24\r\n"
      "[Machine 0]\r\n"
      " Name = sp \r\n"
      "LastOldFactor = 0012 (last week)\r\n";
  struct Case {
    std::string name;
    std::function<void(Model&)> change;
    std::string from, to;  // the one line that changes; none when empty
  };
  const std::vector<Case> cases{
      {"nothing", [](Model&) {}, "", ""},
      {"the name", [](Model& m) { m.Machines[0].Name = "sq"; }, " Name = sp ", "Name=sq"},
      {"the mark", [](Model& m) { m.Machines[0].LastOldFactor = 13; },
       "LastOldFactor = 0012 (last week)", "LastOldFactor=13"},
      {"the user", [](Model& m) { m.Options.Username = "x"; }, "  Username = sp ", "Username=x"},
      {"login off", [](Model& m) { m.Options.Login = false; }, "Login=2", "Login=0"},
      {"a machine more", [](Model& m) { m.Machines.push_back(m.Machines[0]); },
       "Machines=1 ; one machine", "Machines=2"},
  };
  for (const auto& [name, change, from, to] : cases) {
    SCOPED_TRACE(name);
    Model model = Loaded(file);
    ASSERT_EQ(model.Machines.size(), 1u);
    EXPECT_EQ(model.Machines[0].LastOldFactor, 12u);
    change(model);
    std::string expected = file;
    if (!from.empty()) expected.replace(expected.find(from), from.size(), to);
    if (model.Machines.size() == 2)
      expected += "[Machine 1]\r\nName=sp\r\nFactorPath=\r\nStatusPath=\r\nLastOldFactor=12\r\n";
    EXPECT_EQ(SaveSettingsText(file, model), expected);
  }
}

TEST(SettingsFile, LongTextValuesRoundTripWhole) {
  TempDir dir;
  const std::string path = dir.file("quillstrand.ini");
  Model model;
  model.Options.CopyNewURL = "http://example.org/" + std::string(5000, 'x');
  model.Machines.push_back(Machine(std::string(600, 'n'), std::string(4096, 'f'), "s", 1));
  ASSERT_TRUE(SaveSettings(path, model));
  Model loaded;
  ASSERT_TRUE(LoadSettings(path, loaded));
  EXPECT_EQ(loaded.Options.CopyNewURL, model.Options.CopyNewURL);
  ExpectSameMachines(loaded.Machines, model.Machines);
}

TEST(SettingsFile, PasswordsOfEveryByteAndLengthSurviveTheFile) {
  TempDir dir;
  const std::string path = dir.file("quillstrand.ini");
  std::mt19937 random(20261209);
  for (size_t length = 0; length <= 200; ++length) {
    SCOPED_TRACE(length);
    Model model;
    for (size_t i = 0; i < length; ++i) model.Options.Password += static_cast<char>(random() % 256);
    ASSERT_TRUE(SaveSettings(path, model));
    Model loaded;
    ASSERT_TRUE(LoadSettings(path, loaded));
    EXPECT_EQ(loaded.Options.Password, model.Options.Password);
  }
  std::string everyByte;
  for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
  Model model;
  model.Options.Password = everyByte;
  ASSERT_TRUE(SaveSettings(path, model));
  Model loaded;
  ASSERT_TRUE(LoadSettings(path, loaded));
  EXPECT_EQ(loaded.Options.Password, everyByte);
}

TEST(SettingsFile, SaveIsAtomicAndOwnerOnly) {
  TempDir dir;
  const std::string path = dir.write("quillstrand.ini", "[Settings]\nMachines=0\n");
  ::chmod(path.c_str(), 0644);
  ASSERT_TRUE(SaveSettings(path, SampleModel()));

  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"quillstrand.ini", "quillstrand.ini.lock"}))
      << "a temporary file was left behind";
}

TEST(SettingsFile, SaveFollowsASymbolicLink) {
  TempDir dir;
  const std::string target = dir.write("real.ini", "");
  const std::string link = dir.file("quillstrand.ini");
  fs::create_symlink(target, link);
  ASSERT_TRUE(SaveSettings(link, SampleModel()));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_NE(ReadFile(target).find("Username=sieve fan"), std::string::npos);
}

TEST(SettingsFile, FailedSaveNamesThePathAndTheReason) {
  TempDir dir;
  const std::string regularFile = dir.write("file", "x");
  struct Case {
    std::string path, reason;
  };
  const std::array cases{
      Case{regularFile + "/quillstrand.ini", "Not a directory"},
      Case{"/dev/full", "not a regular file"},
      Case{dir.path().string(), "Is a directory"},
  };
  for (const auto& [path, reason] : cases) {
    SCOPED_TRACE(path);
    const Model model = SampleModel();
    const Status saved = SaveSettings(path, model);
    ASSERT_FALSE(saved);
    EXPECT_NE(saved.error().message.find(path), std::string::npos) << saved.error().message;
    EXPECT_NE(saved.error().message.find(reason), std::string::npos) << saved.error().message;
    EXPECT_EQ(model.Options.Username, "sieve fan");
  }
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// A file the program cannot make sense of loads as well as it can, says why,
// and is not saved over: what is in it would be lost.
TEST(SettingsFile, TextThatCannotBeReadAsWrittenIsToldAndKept) {
  struct Case {
    std::string name, text, problem;
  };
  const std::vector<Case> cases{
      {"UTF-16", "\xFF\xFE[\0S\0]\0\r\0\n\0"s, "it is UTF-16 text"},
      {"UTF-16, big-endian", "\xFE\xFF\0[\0S\0]"s, "it is UTF-16 text"},
      {"CR line ends", "[Settings]\rMachines=1\r[Machine 0]\rName=m\r",
       "line 1 ends in a carriage return alone"},
      {"a NUL in a value", "[Settings]\nMachines=1\n[Machine 0]\nFactorPath=/a\0/fact.txt\n"s,
       "line 4 holds a NUL character"},
  };
  for (const auto& [name, text, problem] : cases) {
    SCOPED_TRACE(name);
    TempDir dir;
    const std::string path = dir.write("quillstrand.ini", text);
    Model model;
    std::string warning;
    ASSERT_TRUE(LoadSettings(path, model, &warning));
    EXPECT_TRUE(warning.starts_with(path + ": " + problem)) << warning;

    const Status saved = SaveSettings(path, model);
    ASSERT_FALSE(saved);
    EXPECT_NE(saved.error().message.find(problem), std::string::npos) << saved.error().message;
    EXPECT_NE(saved.error().message.find("not saved"), std::string::npos) << saved.error().message;
    EXPECT_EQ(ReadFile(path), text);
  }
}

TEST(SettingsFile, PlainTextLoadsWithoutAWarning) {
  TempDir dir;
  for (const std::string text : {"", "[Settings]\r\nMachines=0\r\n", "\xEF\xBB\xBF[Settings]\n"}) {
    const std::string path = dir.write("quillstrand.ini", text);
    Model model;
    std::string warning = "stale";
    ASSERT_TRUE(LoadSettings(path, model, &warning));
    EXPECT_EQ(warning, "");
  }
}

TEST(SettingsFile, UnreadableFileIsAnErrorAndGivesTheDefaults) {
  TempDir dir;
  const std::string fifo = dir.file("fifo.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string huge = dir.write("huge.ini", "");
  fs::resize_file(huge, uint64_t{50} << 30);  // sparse: it takes no room
  struct Case {
    std::string path, reason;
  };
  const std::array cases{
      Case{dir.path().string(), "Is a directory"},
      Case{fifo, "not a regular file"},  // and no waiting for a writer
      Case{"/dev/zero", "not a regular file"},
      Case{huge, "larger than 256 MiB"},
  };
  for (const auto& [path, reason] : cases) {
    SCOPED_TRACE(path);
    Model model = SampleModel();
    const Status loaded = LoadSettings(path, model);
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.error().message.find(path), 0u) << loaded.error().message;
    EXPECT_NE(loaded.error().message.find(reason), std::string::npos) << loaded.error().message;
    EXPECT_TRUE(model.Machines.empty());
    EXPECT_EQ(model.Options, Settings{});
  }
}

TEST(SettingsFile, BadInputLoadsWithoutHarm) {
  std::string binary(1 << 16, '\0');
  std::mt19937 random(7);
  for (char& c : binary) c = static_cast<char>(random());
  std::string huge = "[Settings]\nMachines=2\n";
  while (huge.size() < 10'000'000)
    huge += "junk line without equals " + std::to_string(huge.size()) + "\n";
  huge += "[Machine 1]\nName=late\n";
  std::string manySections;
  for (int i = 0; i < 200000; ++i) manySections += "[Machine " + std::to_string(i) + "]\nName=x\n";
  manySections += "[Settings]\nMachines=1000000\n";

  struct Case {
    std::string name, text;
  };
  const std::array cases{
      Case{"empty", ""},
      Case{"binary", binary},
      Case{"huge", huge},
      Case{"many sections", manySections},
      Case{"only carriage returns", std::string(100000, '\r')},
      Case{"control characters",
           "[Settings]\nUsername=a\x01\x02\x1b[31mb\x7f\nMachines=\x00\x05\n"s},
      Case{"no line feed", std::string(1'000'000, '=')},
  };
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    const Model model = Loaded(text);
    EXPECT_LE(model.Machines.size(), size_t{200000});
    EXPECT_GE(model.Options.SpeedAvgIntervals, 1u);
    EXPECT_GE(model.Options.AutoTimerInterval, 1u);
  }
  EXPECT_EQ(Loaded(huge).Machines.at(0).Name, "late");
  EXPECT_EQ(Loaded(cases[5].text).Options.Username, "a\x01\x02\x1b[31mb\x7f");
}

}  // namespace
