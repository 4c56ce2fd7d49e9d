#include "model/SettingsFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <unordered_map>

#include "model/FileLock.h"
#include "model/FileStamp.h"
#include "model/Files.h"
#include "model/IniDocument.h"
#include "model/Numbers.h"
#include "model/Password.h"

namespace {

constexpr char kSettings[] = "Settings";

std::string MachineSection(size_t index) { return "Machine " + std::to_string(index); }

// Reads settings keys with the defaults of a file that lacks them.
class Reader {
 public:
  explicit Reader(const IniDocument& ini) : ini_(ini) {}

  // An integer key reads as its leading digits: 0 without any, and the
  // largest 32-bit number when more than that is written.
  uint32_t Integer(std::string_view section, std::string_view key, uint32_t fallback) const {
    const auto value = ini_.Get(section, key);
    if (!value) return fallback;
    if (value->empty() || !IsDigit(value->front())) return 0;
    return static_cast<uint32_t>(
        ReadLeadingNumber(*value, nullptr, UINT32_MAX).value_or(UINT32_MAX));
  }

  // A count of 1 to `max`, brought in when it lies outside.
  uint32_t Clamped(std::string_view key, uint32_t fallback, uint32_t max) const {
    return std::clamp(Integer(kSettings, key, fallback), 1u, max);
  }

  int32_t Extent(std::string_view key) const {
    const uint32_t extent = Integer(kSettings, key, 0);
    return extent <= static_cast<uint32_t>(kMaxWindowExtent) ? static_cast<int32_t>(extent) : 0;
  }

  // A list such as "120,80,300". Anything but decimals no larger than a
  // screen with commas between them makes it the empty list of a layout never
  // saved: half a layout would be worse than the window's own.
  std::vector<int32_t> Extents(std::string_view key) const {
    const std::string text = Text(kSettings, key);
    std::vector<int32_t> extents;
    for (std::string_view rest = text; !rest.empty();) {
      const auto extent = ReadLeadingNumber(rest, &rest, kMaxWindowExtent);
      if (!extent || (!rest.empty() && rest.front() != ',') || rest == ",") return {};
      extents.push_back(static_cast<int32_t>(*extent));
      if (!rest.empty()) rest.remove_prefix(1);
    }
    return extents;
  }

  // A number written as digits alone; none for anything else.
  std::optional<int32_t> Index(std::string_view key) const {
    const std::string text = Text(kSettings, key);
    std::string_view rest;
    const auto index = ReadLeadingNumber(text, &rest, kMaxWindowExtent);
    if (!index || !rest.empty()) return std::nullopt;
    return static_cast<int32_t>(*index);
  }

  bool Flag(std::string_view key, bool fallback) const {
    return Integer(kSettings, key, fallback) != 0;
  }

  std::string Text(std::string_view section, std::string_view key,
                   std::string_view fallback = {}) const {
    return std::string(ini_.Get(section, key).value_or(fallback));
  }

  const IniDocument& ini() const { return ini_; }

 private:
  const IniDocument& ini_;
};

Machine ReadMachine(const Reader& file, size_t index) {
  const std::string section = MachineSection(index);
  const uint64_t lastOld = ReadLeadingNumber(file.Text(section, "LastOldFactor")).value_or(0);
  return Machine(file.Text(section, "Name"), file.Text(section, "FactorPath"),
                 file.Text(section, "StatusPath"), lastOld);
}

const char* FlagText(bool flag) { return flag ? "1" : "0"; }

std::string ExtentsText(const std::vector<int32_t>& extents) {
  std::string text;
  for (const int32_t extent : extents) {
    if (!text.empty()) text += ',';
    text += DecimalText(static_cast<uint64_t>(std::max(extent, 0)));
  }
  return text;
}

WindowLayout ReadWindowLayout(const Reader& file) {
  return {file.Extent("WindowWidth"),       file.Extent("WindowHeight"),
          file.Extents("SplitterSizes"),    file.Extents("ColumnWidths"),
          file.Index("SortColumn"),         file.Flag("SortDescending", false),
          file.Flag("SortByHealth", false), file.Text(kSettings, "MachineFilter")};
}

// The index N of a section named "Machine N" (its name in lower case), as
// the system's INI functions find it: N in plain decimal, a single blank
// before it.
std::optional<size_t> MachineSectionIndex(std::string_view lowerName) {
  constexpr std::string_view kPrefix = "machine ";
  if (!lowerName.starts_with(kPrefix)) return std::nullopt;
  const std::string_view digits = lowerName.substr(kPrefix.size());
  std::string_view rest;
  const auto index = ReadLeadingNumber(digits, &rest, UINT32_MAX);
  if (!index || !rest.empty() || !IsDigit(digits.front()) || DecimalText(*index) != digits)
    return std::nullopt;
  return static_cast<size_t>(*index);
}

// The indices of the machine sections below the "Machines" count, in order,
// found from the sections there are: a count larger than the file makes no
// machines of nothing, and a missing section leaves no empty machine.
std::vector<size_t> MachineSections(const IniDocument& ini, uint32_t declared) {
  std::vector<size_t> indices;
  ini.ForEachSectionName([&](std::string_view name) {
    if (const auto index = MachineSectionIndex(name); index && *index < declared)
      indices.push_back(*index);
  });
  std::sort(indices.begin(), indices.end());
  return indices;
}

// Builds the model from a settings file; gives the "Machines" count that
// the file declares.
uint32_t ReadSettings(const IniDocument& ini, Model& model) {
  const Reader file(ini);
  const Settings defaults;

  const uint32_t declared = file.Integer(kSettings, "Machines", 0);
  const std::vector<size_t> sections = MachineSections(ini, declared);
  model.Machines.clear();
  ++model.TableRevision;
  model.Machines.reserve(sections.size());
  for (const size_t section : sections) model.Machines.push_back(ReadMachine(file, section));

  Settings& options = model.Options;
  options.LaunchCopyNewURL = file.Flag("LaunchCopyNewURL", defaults.LaunchCopyNewURL);
  options.CopyNewURL = file.Text(kSettings, "CopyNewURL", defaults.CopyNewURL);
  options.SpeedAvgIntervals =
      std::max(file.Integer(kSettings, "SpeedAvgIntervals", defaults.SpeedAvgIntervals), 1u);
  options.Login = file.Flag("Login", defaults.Login);
  options.Username = file.Text(kSettings, "Username", defaults.Username);
  options.Password = DecodePassword(file.Text(kSettings, "Password"));
  options.AutoRefresh = file.Flag("AutoRefresh", defaults.AutoRefresh);
  options.AutoSubmit = file.Flag("AutoSubmit", defaults.AutoSubmit);
  options.AutoTimerInterval =
      file.Clamped("AutoTimerInterval", defaults.AutoTimerInterval, kMaxAutoTimerInterval);
  options.IgnoreErrors = file.Flag("IgnoreErrors", defaults.IgnoreErrors);
  options.StalledMinutes =
      file.Clamped("StalledMinutes", defaults.StalledMinutes, kMaxStalledMinutes);
  options.DryHours = file.Clamped("DryHours", defaults.DryHours, kMaxDryHours);
  options.Window = ReadWindowLayout(file);
  return declared;
}

std::string MachinesWarning(uint32_t declared, size_t read) {
  if (read == declared) return {};
  return "\"Machines\" is " + std::to_string(declared) + ", but the file holds " +
         std::to_string(read) + " of those machine sections; the " + std::to_string(read) +
         " are read";
}

using KeyTexts = std::vector<std::pair<const char*, std::string>>;

// The options as they are written, key by key, in the order of a new file.
// Only a layout that was saved is written: a settings file of a farm never
// opened in the window keeps no keys of it.
KeyTexts OptionTexts(const Settings& options) {
  KeyTexts texts{
      {"LaunchCopyNewURL", FlagText(options.LaunchCopyNewURL)},
      {"CopyNewURL", options.CopyNewURL},
      {"SpeedAvgIntervals", DecimalText(options.SpeedAvgIntervals)},
      {"Username", options.Username},
      {"Password", EncodePassword(options.Password)},
      {"Login", FlagText(options.Login)},
      {"AutoRefresh", FlagText(options.AutoRefresh)},
      {"AutoSubmit", FlagText(options.AutoSubmit)},
      {"AutoTimerInterval", DecimalText(options.AutoTimerInterval)},
      {"IgnoreErrors", FlagText(options.IgnoreErrors)},
      {"StalledMinutes", DecimalText(options.StalledMinutes)},
      {"DryHours", DecimalText(options.DryHours)},
  };
  const WindowLayout& window = options.Window;
  if (window.Width > 0) texts.emplace_back("WindowWidth", DecimalText(window.Width));
  if (window.Height > 0) texts.emplace_back("WindowHeight", DecimalText(window.Height));
  if (!window.SplitterSizes.empty())
    texts.emplace_back("SplitterSizes", ExtentsText(window.SplitterSizes));
  if (!window.ColumnWidths.empty())
    texts.emplace_back("ColumnWidths", ExtentsText(window.ColumnWidths));
  // Written with the rest of a saved layout, table order and no filter
  // included, so that going back to them replaces what the file held.
  if (window != WindowLayout{}) {
    texts.emplace_back("SortColumn", window.SortColumn
                                         ? DecimalText(static_cast<uint64_t>(*window.SortColumn))
                                         : "");
    texts.emplace_back("SortDescending", FlagText(window.SortDescending));
    texts.emplace_back("SortByHealth", FlagText(window.SortByHealth));
    texts.emplace_back("MachineFilter", window.Filter);
  }
  return texts;
}

std::array<std::pair<const char*, std::string>, 4> MachineTexts(const Machine& machine) {
  return {{{"Name", machine.Name},
           {"FactorPath", machine.FactorPath},
           {"StatusPath", machine.StatusPath},
           {"LastOldFactor", DecimalText(machine.LastOldFactor)}}};
}

const std::string* Find(const KeyTexts& texts, std::string_view key) {
  for (const auto& [name, text] : texts)
    if (name == key) return &text;
  return nullptr;
}

// The machines of a table by their factor file, the identity that outlives
// an edit of the table; of machines that share one, the one at the same
// index counts, else the first.
class MachinesByFactorFile {
 public:
  explicit MachinesByFactorFile(const MachineTable& table) : table_(table) {
    for (size_t i = table.size(); i-- > 0;) first_[table[i].FactorPath] = i;
  }

  // The index of `machine`, found at `index` in another table, in this one.
  std::optional<size_t> Find(const Machine& machine, size_t index) const {
    if (index < table_.size() && table_[index].FactorPath == machine.FactorPath) return index;
    const auto found = first_.find(machine.FactorPath);
    return found == first_.end() ? std::nullopt : std::optional(found->second);
  }

 private:
  const MachineTable& table_;
  std::unordered_map<std::string_view, size_t> first_;
};

template <typename... Fields>
void TakeChanged(const Settings& base, const Settings& mine, Settings& onDisk, Fields... fields) {
  ((mine.*fields != base.*fields ? void(onDisk.*fields = mine.*fields) : void()), ...);
}

void ApplyOwnOptions(const Settings& base, const Settings& mine, Settings& onDisk) {
  TakeChanged(base, mine, onDisk, &Settings::LaunchCopyNewURL, &Settings::CopyNewURL,
              &Settings::SpeedAvgIntervals, &Settings::Login, &Settings::Username,
              &Settings::Password, &Settings::AutoRefresh, &Settings::AutoSubmit,
              &Settings::AutoTimerInterval, &Settings::IgnoreErrors, &Settings::StalledMinutes,
              &Settings::DryHours, &Settings::Window);
}

// A new table in place of the file's: each machine keeps the file's mark
// unless this process moved it (or the machine is new to it).
MachineTable ReplacedTable(const MachineTable& base, const MachineTable& mine,
                           const MachineTable& onDisk) {
  const MachinesByFactorFile based(base), there(onDisk);
  MachineTable table;
  table.reserve(mine.size());
  for (size_t i = 0; i < mine.size(); ++i) {
    const Machine& machine = mine[i];
    uint64_t lastOld = machine.LastOldFactor;
    const auto was = based.Find(machine, i);
    const auto now = there.Find(machine, i);
    if (was && now && base[*was].LastOldFactor == lastOld) lastOld = onDisk[*now].LastOldFactor;
    table.emplace_back(machine.Name, machine.FactorPath, machine.StatusPath, lastOld);
  }
  return table;
}

// No such file: a first start, or a folder that does not exist (yet).
bool IsMissing(const Result<std::string>& file) {
  return !file && (file.error().code == ENOENT || file.error().code == ENOTDIR);
}

}  // namespace

std::string LoadSettingsText(std::string_view text, Model& model) {
  const uint32_t declared = ReadSettings(IniDocument(text), model);
  return MachinesWarning(declared, model.Machines.size());
}

std::string SaveSettingsText(std::string_view old, const Model& model) {
  IniDocument file(old);
  Model before;
  const uint32_t declared = ReadSettings(file, before);
  // A line is written only when what it means changes, so that everything
  // else stays as it was written, blanks and comments included.
  const auto write = [&](const std::string& section, const char* key, const std::string* was,
                         const std::string& now) {
    if (!was || *was != now) file.Set(section, key, now);
  };
  // A first save writes every option, for those who edit the file by hand.
  const auto writeOption = [&](const char* key, const std::string* was, const std::string& now) {
    write(kSettings, key, file.Get(kSettings, key) ? was : nullptr, now);
  };
  const std::string count = DecimalText(declared);
  writeOption("Machines", &count, DecimalText(model.Machines.size()));
  const KeyTexts options = OptionTexts(before.Options);
  for (const auto& [key, text] : OptionTexts(model.Options))
    writeOption(key, Find(options, key), text);

  const Reader reader(file);
  for (size_t i = 0; i < model.Machines.size(); ++i) {
    const std::string section = MachineSection(i);
    // What the section holds now: it may be another machine's, or none,
    // where the file lacked sections below its count.
    const auto was =
        file.Has(section) ? std::optional(MachineTexts(ReadMachine(reader, i))) : std::nullopt;
    const auto now = MachineTexts(model.Machines[i]);
    for (size_t key = 0; key < now.size(); ++key)
      write(section, now[key].first, was ? &(*was)[key].second : nullptr, now[key].second);
  }
  return file.Text();
}

std::optional<std::string> SettingsTextProblem(std::string_view text) {
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"))
    return "it is UTF-16 text, which this program cannot read (save it as UTF-8)";
  const auto lineOf = [&](size_t offset) {
    return "line " + std::to_string(std::count(text.begin(), text.begin() + offset, '\n') + 1);
  };
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos)
    return lineOf(nul) + " holds a NUL character, which would cut its value short";
  for (size_t cr = text.find('\r'); cr != std::string_view::npos; cr = text.find('\r', cr + 1)) {
    if (cr + 1 == text.size() || text[cr + 1] != '\n') {
      return lineOf(cr) +
             " ends in a carriage return alone, which joins it to the next line (save the file "
             "with LF or CR LF line ends)";
    }
  }
  return std::nullopt;
}

Status LoadSettings(const std::string& path, Model& model, std::string* warning) {
  const auto text = ReadWholeFile(path);
  const std::string machines = LoadSettingsText(text ? text.value() : std::string_view{}, model);
  if (!text && !IsMissing(text)) return text.error();
  if (warning) {
    const auto problem = text ? SettingsTextProblem(text.value()) : std::nullopt;
    std::string said = problem ? *problem : std::string();
    if (!machines.empty()) said += (said.empty() ? "" : "; ") + machines;
    *warning = said.empty() ? std::string() : path + ": " + said;
  }
  return Ok();
}

Status SaveSettings(const std::string& path, const Model& model) {
  return UpdateSettings(path, [&](Model& onDisk) {
    onDisk.Options = model.Options;
    onDisk.Machines = model.Machines;
    return Ok();
  });
}

bool SameMachines(const MachineTable& a, const MachineTable& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Machine& x, const Machine& y) {
    return x.Name == y.Name && x.FactorPath == y.FactorPath && x.StatusPath == y.StatusPath;
  });
}

void ApplyOwnChanges(const Model& base, const Model& mine, Model& onDisk, bool tableReplaced) {
  ApplyOwnOptions(base.Options, mine.Options, onDisk.Options);
  if (tableReplaced || !SameMachines(base.Machines, mine.Machines)) {
    onDisk.Machines = ReplacedTable(base.Machines, mine.Machines, onDisk.Machines);
    return;
  }
  const MachinesByFactorFile there(onDisk.Machines);
  for (size_t i = 0; i < mine.Machines.size(); ++i) {
    const Machine& machine = mine.Machines[i];
    if (machine.LastOldFactor == base.Machines[i].LastOldFactor) continue;
    if (const auto now = there.Find(machine, i))
      onDisk.Machines[*now].LastOldFactor = machine.LastOldFactor;
  }
}

Result<Model> SaveOwnChanges(const std::string& path, const Model& base, const Model& mine,
                             bool tableReplaced) {
  Model written;
  const Status saved = UpdateSettings(path, [&](Model& onDisk) {
    // Nothing to keep of a file that is gone: all of `mine` is new to it.
    if (!StampFile(path).Exists) onDisk = base;
    ApplyOwnChanges(base, mine, onDisk, tableReplaced);
    written.Options = onDisk.Options;
    written.Machines = onDisk.Machines;
    return Ok();
  });
  if (!saved) return saved.error();
  return written;
}

Status UpdateSettings(const std::string& path, const std::function<Status(Model& onDisk)>& apply) {
  const Result<FileLock> lock = FileLock::Acquire(path, kSettingsLockWait);
  if (!lock) return lock.error();
  // Read the file again so that what was added to it by hand since the
  // start (other sections, comments) survives the save.
  const auto old = ReadWholeFile(path);
  if (!old && !IsMissing(old)) return old.error();
  const std::string_view oldText = old ? std::string_view(old.value()) : std::string_view();
  if (const auto problem = SettingsTextProblem(oldText))
    return Error{path + ": " + *problem + "; the settings were not saved over it", EILSEQ};
  Model onDisk;
  LoadSettingsText(oldText, onDisk);
  if (Status applied = apply(onDisk); !applied) return applied;
  return WriteFileAtomically(path, SaveSettingsText(oldText, onDisk), 0600);
}
