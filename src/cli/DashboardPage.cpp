#include "cli/DashboardPage.h"

#include <ctime>

#include "model/TerminalText.h"
#include "farm/Health.h"
#include "monitor/MachineRow.h"

namespace {

// The window's looks: an icon and a colour per state, readable on light
// and dark alike. The script below knows them by the same class names.
const char* Icon(HealthState state) {
  switch (state) {
    case HealthState::Working:
      return "\u25B6";  // ▶
    case HealthState::RunningDry:
      return "\u2139";  // ℹ
    case HealthState::Stalled:
      return "\u25A0";  // ■
    case HealthState::Finished:
      return "\u2714";  // ✔
    case HealthState::Unreachable:
      return "\u26A0";  // ⚠
  }
  return "";
}

// A class name: the state's name with a dash for its blank.
std::string StateClass(HealthState state) {
  std::string name = HealthName(state);
  for (char& c : name)
    if (c == ' ') c = '-';
  return name;
}

// A read error names the file's location, which may hold a user and a
// password: the page tells only that it could not be read.
std::string Explanation(const MachineHealth& health) {
  return health.State == HealthState::Unreachable ? "its files could not be read" : health.Detail;
}

// The reading's time in UTC, as strftime's `format` writes it: a page
// without scripts cannot know the viewer's time zone.
std::string UtcText(int64_t unixSeconds, const char* format) {
  const auto seconds = static_cast<std::time_t>(unixSeconds);
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, format, &utc);
  return text;
}

constexpr char kStyle[] = R"(
:root { color-scheme: light dark; --bg: #fff; --fg: #1b1b1b; --line: #d0d0d0; --head: #f2f2f2;
  --dry: #9a5b00; --stalled: #b3261e; --finished: #1e7a1e; --unreachable: #6b6b6b; }
@media (prefers-color-scheme: dark) {
  :root { --bg: #161616; --fg: #e6e6e6; --line: #3a3a3a; --head: #242424;
    --dry: #f0a640; --stalled: #ff8a80; --finished: #7bd67b; --unreachable: #9e9e9e; } }
body { margin: 0; padding: 0.75rem; background: var(--bg); color: var(--fg);
  font: 15px/1.4 system-ui, sans-serif; }
h1 { font-size: 1.2rem; margin: 0 0 0.25rem; }
p { margin: 0.25rem 0; }
.scroll { overflow-x: auto; margin-top: 0.75rem; border: 1px solid var(--line); }
table { border-collapse: collapse; white-space: nowrap; font-variant-numeric: tabular-nums; }
th, td { padding: 0.3rem 0.6rem; border-bottom: 1px solid var(--line); text-align: right; }
thead th { background: var(--head); position: sticky; top: 0; }
th:first-child { text-align: left; position: sticky; left: 0; background: var(--bg);
  border-right: 1px solid var(--line); }
thead th:first-child { background: var(--head); z-index: 1; }
tbody th { font-weight: normal; }
.icon { display: inline-block; width: 1.2em; text-align: center; }
.running-dry { color: var(--dry); }
.stalled { color: var(--stalled); }
.finished { color: var(--finished); }
.unreachable { color: var(--unreachable); }
#stale { display: none; color: var(--stalled); }
)";

// Follows status.json; the page it found stays as it is when the server
// cannot be reached, with a line that says so.
constexpr char kScript[] = R"(
(function () {
  var icons = { "working": "\u25B6", "running dry": "\u2139", "stalled": "\u25A0",
    "finished": "\u2714", "unreachable": "\u26A0" };
  var shownAt = document.getElementById("read-at").getAttribute("data-unix");
  function cell(tag, text) {
    var element = document.createElement(tag);
    element.textContent = text;
    return element;
  }
  function row(machine) {
    var state = machine.health.state, tr = document.createElement("tr");
    tr.className = state.replace(" ", "-");
    tr.title = state + ": " + (state === "unreachable" ? "its files could not be read"
                                                       : machine.health.detail);
    var name = cell("th", " " + machine.cells[0]);
    name.scope = "row";
    var icon = cell("span", icons[state] || "");
    icon.className = "icon";
    icon.setAttribute("aria-label", state);
    name.insertBefore(icon, name.firstChild);
    tr.appendChild(name);
    for (var i = 1; i < machine.cells.length; i++) tr.appendChild(cell("td", machine.cells[i]));
    return tr;
  }
  function show(status) {
    if (String(status.readAt) === shownAt) return;
    shownAt = String(status.readAt);
    var body = document.createElement("tbody");
    status.machines.forEach(function (machine) { body.appendChild(row(machine)); });
    var table = document.getElementById("machines");
    table.replaceChild(body, table.tBodies[0]);
    document.getElementById("summary").textContent = status.summary.text;
    var readAt = document.getElementById("read-at");
    var when = new Date(status.readAt * 1000);
    readAt.textContent = when.toLocaleString();
    readAt.setAttribute("datetime", when.toISOString().replace(/\.\d+Z$/, "Z"));
    readAt.setAttribute("data-unix", shownAt);
    document.title = "quillstrand: " + status.summary.text;
  }
  function poll() {
    fetch("status.json", { cache: "no-cache" })
      .then(function (answer) {
        if (!answer.ok) throw new Error(answer.status);
        return answer.json();
      })
      .then(function (status) {
        show(status);
        document.getElementById("stale").style.display = "none";
      })
      .catch(function () { document.getElementById("stale").style.display = "block"; })
      .then(function () { setTimeout(poll, 5000); });
  }
  setTimeout(poll, 5000);
})();
)";

// Without scripts the page reads itself again every minute.
std::string Head(const std::string& summary) {
  return std::string(
             "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
             "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
             "<meta name=\"color-scheme\" content=\"light dark\">\n"
             "<noscript><meta http-equiv=\"refresh\" content=\"60\"></noscript>\n"
             "<title>quillstrand: ") +
         summary + "</title>\n<style>" + kStyle + "</style>\n</head>\n";
}

std::string Heading(const std::string& summary, int64_t time) {
  return "<h1>quillstrand</h1>\n<p id=\"summary\">" + summary +
         "</p>\n<p>Read at <time id=\"read-at\" datetime=\"" + UtcText(time, "%Y-%m-%dT%H:%M:%SZ") +
         "\" data-unix=\"" + std::to_string(time) + "\">" + UtcText(time, "%Y-%m-%d %H:%M:%S UTC") +
         "</time></p>\n<p id=\"stale\">The server cannot be reached: this is the last reading "
         "it gave.</p>\n";
}

std::string HeaderRow() {
  std::string html = "<tr>";
  for (const MachineColumn& column : kMachineColumns)
    html += std::string("<th scope=\"col\">") + column.header + "</th>";
  return html + "</tr>";
}

std::string MachineRowHtml(const Machine& machine, const MachineHealth& health) {
  const MachineRow cells = MachineRowTexts(machine);
  const char* state = HealthName(health.State);
  std::string html = "<tr class=\"" + StateClass(health.State) + "\" title=\"" + state + ": " +
                     HtmlText(Explanation(health)) + "\"><th scope=\"row\"><span class=\"icon\" " +
                     "aria-label=\"" + state + "\">" + Icon(health.State) + "</span> " +
                     HtmlText(cells[0]) + "</th>";
  for (size_t column = 1; column < cells.size(); ++column)
    html += "<td>" + HtmlText(cells[column]) + "</td>";
  return html + "</tr>\n";
}

}  // namespace

std::string HtmlText(std::string_view text) {
  std::string html;
  for (const char c : TerminalText(text)) {
    switch (c) {
      case '&':
        html += "&amp;";
        break;
      case '<':
        html += "&lt;";
        break;
      case '>':
        html += "&gt;";
        break;
      case '"':
        html += "&quot;";
        break;
      case '\'':
        html += "&#39;";
        break;
      default:
        html += c;
    }
  }
  return html;
}

std::string DashboardPage(const FarmReading& reading) {
  const Model& farm = reading.Farm;
  const std::string summary = HtmlText(SummaryText(SummarizeFarm(farm, reading.Time)));
  const std::vector<MachineHealth> health = FarmHealth(farm, reading.Time);
  std::string html = Head(summary) + "<body>\n" + Heading(summary, reading.Time) +
                     "<div class=\"scroll\"><table id=\"machines\">\n<thead>" + HeaderRow() +
                     "</thead>\n<tbody>\n";
  for (size_t i = 0; i < farm.Machines.size(); ++i)
    html += MachineRowHtml(farm.Machines[i], health[i]);
  return html + "</tbody>\n</table></div>\n<script>" + kScript + "</script>\n</body>\n</html>\n";
}
