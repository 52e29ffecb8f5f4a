#include "support/scratch_dir.h"

#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "support/run_helpers.h"

namespace velkor::testing {

namespace fs = std::filesystem;

Scratch::Scratch() {
  std::string pattern = (fs::temp_directory_path() / "velkor-test-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) != nullptr) dir_ = name.data();
}

Scratch::~Scratch() {
  std::error_code ignored;
  if (!dir_.empty()) fs::remove_all(dir_, ignored);
}

std::string Scratch::write(const std::string& name, const std::string& text) const {
  std::ofstream(path(name), std::ios::binary) << text;
  return path(name);
}

ShellRun runShell(const Scratch& scratch, const std::string& script) {
  scratch.write("script.sh", "VELKOR='" + std::string(VELKOR_BINARY) + "'\n" + script + "\n");
  const std::string command = "cd '" + scratch.dir() + "' && sh ./script.sh >.stdout 2>.stderr";
  // The script runs as from a prompt, with SIGPIPE at its default action,
  // whatever a test of this process set (an ignored signal is inherited).
  struct sigaction defaultAction {}, previous {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);
  sigaction(SIGPIPE, &defaultAction, &previous);
  const int raw = std::system(command.c_str());
  sigaction(SIGPIPE, &previous, nullptr);
  ShellRun run;
  if (raw != -1 && WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
  run.out = readFile(scratch.path(".stdout"));
  run.err = readFile(scratch.path(".stderr"));
  return run;
}

}  // namespace velkor::testing
