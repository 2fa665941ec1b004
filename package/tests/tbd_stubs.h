// Reads the stub SDK's text-based library stubs (.tbd): each stub's install name and the symbols it
// exports.
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace stubs {

// Install name -> exported symbols, for every .tbd file below `sdk`. Throws std::runtime_error on a
// stub without an install name, or on two stubs naming the same library.
std::map<std::string, std::set<std::string>> readAll(const std::filesystem::path& sdk);

}  // namespace stubs
