#include "sim/shipped_scenarios.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace sim_testing {
namespace {

}  // namespace

std::vector<std::string> shippedScenarios() {
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(SCENARIOS))
    if (entry.path().extension() == ".txt") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  files.insert(files.begin(), TOUR);
  return files;
}

std::vector<std::string> versionSensitiveScenarios() {
  std::vector<std::string> sensitive;
  for (const std::string& file : shippedScenarios()) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("tap-icon", 0) != 0) continue;
      sensitive.push_back(file);
      break;
    }
  }
  return sensitive;
}

testing_support::RunResult runScenario(const std::string& scenario, std::vector<std::string> arguments,
                                       const testing_support::TempDir& dir) {
  fs::path source(scenario);
  fs::path copy = dir / source.filename().string();
  std::error_code ec;
  if (!fs::exists(copy, ec)) {
    fs::copy_file(source, copy);
    if (fs::is_directory(source.parent_path() / "files"))
      fs::copy(source.parent_path() / "files", dir / "files", fs::copy_options::recursive);
  }
  arguments.insert(arguments.begin(), RAVELO_SIM);
  arguments.push_back(copy.string());
  return testing_support::run(arguments);
}

std::vector<std::string> withoutDeviceLine(const std::string& output) {
  std::vector<std::string> lines = testing_support::lines(output);
  std::erase_if(lines, [](const std::string& line) { return line.rfind("device: ", 0) == 0; });
  return lines;
}

std::vector<std::string> asAtVarJb(std::vector<std::string> lines) {
  std::erase_if(lines, [](const std::string& line) { return line.rfind("layout /var/jb -> ", 0) == 0; });
  const std::string root = kPrebootRoot;
  for (std::string& line : lines)
    for (size_t at; (at = line.find(root)) != std::string::npos;) line.replace(at, root.size(), "/var/jb");
  return lines;
}

std::string firstDifference(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
  size_t n = 0;
  while (n < expected.size() && n < actual.size() && expected[n] == actual[n]) ++n;
  return "line " + std::to_string(n + 1) + ":\n  expected: " + (n < expected.size() ? expected[n] : "(end)") +
         "\n  actual:   " + (n < actual.size() ? actual[n] : "(end)");
}

std::string scenarioTestName(const std::string& path) {
  std::string name = fs::path(path).stem().string();
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

}  // namespace sim_testing
