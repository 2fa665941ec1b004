// The shell's edits of the tweak's fallback property-list file, as a developer on the device would make
// them with plutil and rm.
#pragma once

#include <string>
#include <vector>

namespace sim::device {

// Carries out `words` on the file at `path`:
//   set KEY TYPE TEXT     write KEY (values/plist_value.h); a missing file becomes an XML one, an existing
//                         one keeps its format
//   remove KEY            remove KEY
//   delete                remove the file
//   format xml|binary     rewrite the file in that format
// Traces the command and the file's contents afterwards. "" when done, else why not (a file that is not a
// property-list dictionary is not edited).
std::string editFallbackFile(const std::string& path, const std::vector<std::string>& words);

// Removes a file as `rm -f` would, tracing the command; "" or why not.
std::string removeFile(const std::string& path);

}  // namespace sim::device
