#include "protocol/protocol.h"

namespace sim::protocol {

std::string encodeWords(const std::vector<std::string>& words) {
  std::string body;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) body += '\n';
    body += words[i];
  }
  return body;
}

std::vector<std::string> decodeWords(std::string_view body) {
  std::vector<std::string> words;
  if (body.empty()) return words;
  size_t start = 0;
  for (;;) {
    size_t end = body.find('\n', start);
    words.emplace_back(body.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return words;
}

}  // namespace sim::protocol
