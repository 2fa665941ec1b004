// Stands in for the jailbreak's killall in pane tests: appends one line per run to "<its name>.argv"
// beside itself, holding its arguments (argv[0] included) separated by '|' and, last, the number of
// environment entries it was started with. Kills nothing.
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <string>

extern char** environ;

int main(int argc, char** argv) {
  char self[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return 1;
  std::string record;
  for (int i = 0; i < argc; ++i) record += std::string(argv[i]) + "|";
  int environment = 0;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) ++environment;
  record += "env=" + std::to_string(environment) + "\n";
  std::string log = std::string(self, static_cast<size_t>(length)) + ".argv";
  int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) return 1;
  bool written = write(fd, record.data(), record.size()) == static_cast<ssize_t>(record.size());
  close(fd);
  return written ? 0 : 1;
}
