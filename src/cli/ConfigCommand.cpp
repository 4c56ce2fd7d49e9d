#include "cli/ConfigCommand.h"

#include <iomanip>
#include <string_view>
#include <type_traits>

#include "model/Redaction.h"
#include "model/TerminalText.h"

namespace {

// Prints "  key  value" lines with the values in one column.
class KeyValuePrinter {
 public:
  KeyValuePrinter(std::ostream& out, int indent) : out_(out), indent_(indent) {}

  template <typename T>
  void operator()(const char* key, const T& value) {
    out_ << std::string(indent_, ' ') << std::left << std::setw(19) << key;
    // Names and paths are shown as a terminal cannot take them for commands.
    if constexpr (std::is_convertible_v<T, std::string_view>)
      out_ << TerminalText(value) << '\n';
    else
      out_ << value << '\n';
  }

 private:
  std::ostream& out_;
  int indent_;
};

}  // namespace

void PrintConfig(const std::string& path, const Model& model, std::ostream& out) {
  const Settings& options = model.Options;
  out << "Settings file: " << path << '\n';
  KeyValuePrinter print(out, 2);
  out << "[Settings]\n";
  print("Machines", model.Machines.size());
  print("LaunchCopyNewURL", options.LaunchCopyNewURL);
  print("CopyNewURL", options.CopyNewURL);
  print("SpeedAvgIntervals", options.SpeedAvgIntervals);
  print("Username", options.Username);
  print("Password", options.Password.empty() ? "(empty)" : "(set)");
  print("Login", options.Login);
  print("AutoRefresh", options.AutoRefresh);
  print("AutoSubmit", options.AutoSubmit);
  print("AutoTimerInterval", options.AutoTimerInterval);
  print("IgnoreErrors", options.IgnoreErrors);
  for (size_t i = 0; i < model.Machines.size(); ++i) {
    const Machine& machine = model.Machines[i];
    out << "[Machine " << i << "]\n";
    print("Name", machine.Name);
    print("FactorPath", RedactPasswords(machine.FactorPath));
    print("StatusPath", RedactPasswords(machine.StatusPath));
    print("LastOldFactor", machine.LastOldFactor);
  }
}
