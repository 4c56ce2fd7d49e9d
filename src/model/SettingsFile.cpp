#include "model/SettingsFile.h"

#include <algorithm>
#include <cerrno>

#include "model/FileLock.h"
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
  explicit Reader(std::string_view text) : ini_(text) {}

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

  bool Flag(std::string_view key, bool fallback) const {
    return Integer(kSettings, key, fallback) != 0;
  }

  std::string Text(std::string_view section, std::string_view key,
                   std::string_view fallback = {}) const {
    return std::string(ini_.Get(section, key).value_or(fallback));
  }

 private:
  IniDocument ini_;
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
  return {file.Extent("WindowWidth"), file.Extent("WindowHeight"), file.Extents("SplitterSizes"),
          file.Extents("ColumnWidths")};
}

// Only a layout that was saved is written: a settings file of a farm never
// opened in the window keeps no keys of it.
void WriteWindowLayout(IniDocument& file, const WindowLayout& window) {
  if (window.Width > 0) file.Set(kSettings, "WindowWidth", DecimalText(window.Width));
  if (window.Height > 0) file.Set(kSettings, "WindowHeight", DecimalText(window.Height));
  if (!window.SplitterSizes.empty())
    file.Set(kSettings, "SplitterSizes", ExtentsText(window.SplitterSizes));
  if (!window.ColumnWidths.empty())
    file.Set(kSettings, "ColumnWidths", ExtentsText(window.ColumnWidths));
}

// No such file: a first start, or a folder that does not exist (yet).
bool IsMissing(const Result<std::string>& file) {
  return !file && (file.error().code == ENOENT || file.error().code == ENOTDIR);
}

}  // namespace

void LoadSettingsText(std::string_view text, Model& model) {
  const Reader file(text);
  const Settings defaults;

  const size_t count = std::min<size_t>(file.Integer(kSettings, "Machines", 0), kMaxMachines);
  model.Machines.clear();
  ++model.TableRevision;
  model.Machines.reserve(count);
  for (size_t i = 0; i < count; ++i) model.Machines.push_back(ReadMachine(file, i));

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
}

std::string SaveSettingsText(std::string_view old, const Model& model) {
  IniDocument file(old);
  const Settings& options = model.Options;
  file.Set(kSettings, "Machines", DecimalText(model.Machines.size()));
  file.Set(kSettings, "LaunchCopyNewURL", FlagText(options.LaunchCopyNewURL));
  file.Set(kSettings, "CopyNewURL", options.CopyNewURL);
  file.Set(kSettings, "SpeedAvgIntervals", DecimalText(options.SpeedAvgIntervals));
  file.Set(kSettings, "Username", options.Username);
  file.Set(kSettings, "Password", EncodePassword(options.Password));
  file.Set(kSettings, "Login", FlagText(options.Login));
  file.Set(kSettings, "AutoRefresh", FlagText(options.AutoRefresh));
  file.Set(kSettings, "AutoSubmit", FlagText(options.AutoSubmit));
  file.Set(kSettings, "AutoTimerInterval", DecimalText(options.AutoTimerInterval));
  file.Set(kSettings, "IgnoreErrors", FlagText(options.IgnoreErrors));
  file.Set(kSettings, "StalledMinutes", DecimalText(options.StalledMinutes));
  file.Set(kSettings, "DryHours", DecimalText(options.DryHours));
  WriteWindowLayout(file, options.Window);
  for (size_t i = 0; i < model.Machines.size(); ++i) {
    const Machine& machine = model.Machines[i];
    const std::string section = MachineSection(i);
    file.Set(section, "Name", machine.Name);
    file.Set(section, "FactorPath", machine.FactorPath);
    file.Set(section, "StatusPath", machine.StatusPath);
    file.Set(section, "LastOldFactor", DecimalText(machine.LastOldFactor));
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
  LoadSettingsText(text ? text.value() : std::string_view{}, model);
  if (!text && !IsMissing(text)) return text.error();
  if (warning) {
    const auto problem = text ? SettingsTextProblem(text.value()) : std::nullopt;
    *warning = problem ? path + ": " + *problem : std::string();
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
