#include "tbd.h"

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <stdexcept>

namespace tbd {
namespace {

// A name the stub gives (a symbol, target, library or flag): a Mach-O file keeps it as a C string.
std::string name(const YAML::Node& node, const std::string& key) {
  std::string text = node.as<std::string>();
  if (text.empty() || text.find('\0') != std::string::npos) {
    throw std::runtime_error(key + " holds an empty name or one with a NUL character");
  }
  return text;
}

std::vector<std::string> strings(const YAML::Node& node, const std::string& key) {
  std::vector<std::string> out;
  const YAML::Node list = node[key];
  if (!list) return out;
  if (!list.IsSequence()) throw std::runtime_error(key + " is not a list");
  for (const YAML::Node& item : list) out.push_back(name(item, key));
  return out;
}

// The keys of a version 4 stub's top-level mapping: what the library is, what it exports, and what a
// plain stub cannot stand for (refused below). A key outside this list is refused too, so that
// nothing a stub says is dropped unread.
const std::set<std::string> kTopLevelKeys{
    "tbd-version",    "targets",          "uuids",       "flags",        "install-name", "current-version",
    "compatibility-version", "swift-abi-version", "parent-umbrella", "allowable-clients", "reexported-libraries",
    "exports",        "reexports",        "undefineds"};
// The keys of one entry of "exports" or "reexports".
const std::set<std::string> kSymbolKeys{"targets",      "symbols",       "weak-symbols", "thread-local-symbols",
                                        "objc-classes", "objc-eh-types", "objc-ivars"};

void checkKeys(const YAML::Node& map, const std::set<std::string>& known, const std::string& where) {
  for (const auto& entry : map) {
    const std::string key = entry.first.as<std::string>();
    if (!known.count(key)) throw std::runtime_error("has the key '" + key + "'" + where + ", which a version 4 stub does not have");
  }
}

// The symbols one "exports" or "reexports" entry lists, in the order of its keys.
std::vector<Export> symbolsOf(const YAML::Node& block) {
  std::vector<Export> out;
  for (const std::string& name : strings(block, "symbols")) out.push_back({name});
  for (const std::string& name : strings(block, "weak-symbols")) out.push_back({name, true});
  for (const std::string& name : strings(block, "thread-local-symbols")) out.push_back({name, false, true});
  for (const std::string& name : strings(block, "objc-classes")) {
    out.push_back({"_OBJC_CLASS_$_" + name});
    out.push_back({"_OBJC_METACLASS_$_" + name});
  }
  for (const std::string& name : strings(block, "objc-eh-types")) out.push_back({"_OBJC_EHTYPE_$_" + name});
  for (const std::string& name : strings(block, "objc-ivars")) out.push_back({"_OBJC_IVAR_$_" + name});
  return out;
}

// The entries of "exports" or "reexports" (`key`): each for targets of the library.
void readSymbolLists(const YAML::Node& doc, const std::string& key, Library& library) {
  const YAML::Node lists = doc[key];
  if (!lists) return;
  if (!lists.IsSequence()) throw std::runtime_error(key + " is not a list");
  for (const YAML::Node& block : lists) {
    if (!block.IsMap()) throw std::runtime_error("an entry of " + key + " is not a mapping");
    checkKeys(block, kSymbolKeys, " in " + key);
    Library::Block entry{strings(block, "targets"), symbolsOf(block)};
    for (const std::string& target : entry.targets) {
      if (std::find(library.targets.begin(), library.targets.end(), target) == library.targets.end()) {
        throw std::runtime_error(key + " for " + target + ", which is not among its targets");
      }
    }
    library.exports.push_back(std::move(entry));
  }
}

// Counts documents without building them, for the events of none.
struct DocumentCounter : YAML::EventHandler {
  void OnDocumentStart(const YAML::Mark&) override {}
  void OnDocumentEnd() override {}
  void OnNull(const YAML::Mark&, YAML::anchor_t) override {}
  void OnAlias(const YAML::Mark&, YAML::anchor_t) override {}
  void OnScalar(const YAML::Mark&, const std::string&, YAML::anchor_t, const std::string&) override {}
  void OnSequenceStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {}
  void OnSequenceEnd() override {}
  void OnMapStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {}
  void OnMapEnd() override {}
};

// The stub's one document. yaml-cpp's LoadAll never returns on some malformed text (a tag and a
// comma at the top level, "!a, b", give it documents without end), so the documents are counted,
// up to two, before the first is loaded.
YAML::Node onlyDocument(const std::string& text) {
  std::istringstream in(text);
  YAML::Parser parser(in);
  DocumentCounter counter;
  int documents = 0;
  while (documents < 2 && parser.HandleNextDocument(counter)) ++documents;
  if (documents == 0) throw std::runtime_error("holds no document");
  if (documents > 1) throw std::runtime_error("holds several documents; only a stub of one library is supported");
  return YAML::Load(text);
}

Library parse(const YAML::Node& doc) {
  if (!doc.IsMap()) throw std::runtime_error("is not a YAML mapping");
  if (!doc["tbd-version"] || doc["tbd-version"].as<std::string>() != "4") {
    throw std::runtime_error("is not a version 4 text stub (tbd-version: 4)");
  }
  checkKeys(doc, kTopLevelKeys, "");
  for (const char* key : {"reexported-libraries", "parent-umbrella", "allowable-clients"}) {
    if (doc[key]) throw std::runtime_error(std::string("uses ") + key + ", which a plain stub cannot stand for");
  }
  for (const std::string& flag : strings(doc, "flags")) {
    if (flag == "flat_namespace") throw std::runtime_error("uses flags: flat_namespace, which a plain stub cannot stand for");
  }
  Library library;
  if (!doc["install-name"]) throw std::runtime_error("has no install-name");
  library.installName = name(doc["install-name"], "install-name");
  library.targets = strings(doc, "targets");
  if (library.targets.empty()) throw std::runtime_error("names no targets");
  if (doc["current-version"]) library.currentVersion = packVersion(doc["current-version"].as<std::string>());
  if (doc["compatibility-version"]) {
    library.compatibilityVersion = packVersion(doc["compatibility-version"].as<std::string>());
  }
  readSymbolLists(doc, "exports", library);
  readSymbolLists(doc, "reexports", library);
  return library;
}

}  // namespace

std::vector<Export> Library::exportsFor(const std::string& target) const {
  std::vector<Export> out;
  for (const Block& block : exports) {
    if (std::find(block.targets.begin(), block.targets.end(), target) == block.targets.end()) continue;
    out.insert(out.end(), block.symbols.begin(), block.symbols.end());
  }
  return out;
}

Library read(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error(file.string() + ": cannot be read");
  return readText(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), file.string());
}

Library readText(const std::string& text, const std::string& name) {
  try {
    return parse(onlyDocument(text));
  } catch (const YAML::Exception& error) {
    throw std::runtime_error(name + ": not a readable text stub: " + error.what());
  } catch (const std::runtime_error& error) {
    throw std::runtime_error(name + ": " + error.what());
  }
}

std::vector<std::filesystem::path> findAll(const std::filesystem::path& root) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file() && entry.path().extension() == ".tbd") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

uint32_t packVersion(const std::string& text) {
  uint32_t parts[3] = {0, 0, 0};
  const uint32_t limits[3] = {65535, 255, 255};
  size_t count = 0, at = 0;
  while (true) {
    size_t end = text.find('.', at);
    std::string part = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (count == 3 || part.empty() || part.size() > 5 ||
        part.find_first_not_of("0123456789") != std::string::npos || std::stoul(part) > limits[count]) {
      throw std::runtime_error("'" + text + "' is not a library version (such as 1.2.3, at most 65535.255.255)");
    }
    parts[count++] = static_cast<uint32_t>(std::stoul(part));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return parts[0] << 16 | parts[1] << 8 | parts[2];
}

}  // namespace tbd
