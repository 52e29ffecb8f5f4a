#include "driver/output_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "driver/command_line.h"
#include "driver/numeric_outputs.h"

namespace velkor {

namespace {

namespace fs = std::filesystem;

// As many links as the system follows in one path.
constexpr int kMaxLinks = 40;

// What makes two names one file.
struct Identity {
  bool exists = false;
  bool shared = false;  // a character device: any number of writers
  dev_t device = 0;
  ino_t inode = 0;
  std::string normal;  // the resolved path, for a file not yet there
};

Identity fromStat(const struct stat& info) {
  Identity identity;
  identity.exists = true;
  identity.shared = S_ISCHR(info.st_mode);
  identity.device = info.st_dev;
  identity.inode = info.st_ino;
  return identity;
}

std::optional<Identity> descriptorIdentity(int descriptor) {
  struct stat info {};
  if (fstat(descriptor, &info) != 0) return std::nullopt;
  return fromStat(info);
}

Identity pathIdentity(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) return fromStat(info);
  Identity identity;
  bool dangling = false;
  std::error_code ignored;
  const fs::path target = fs::absolute(outputTarget(path, dangling), ignored);
  identity.normal = fs::weakly_canonical(target, ignored).lexically_normal().string();
  if (identity.normal.empty()) identity.normal = target.lexically_normal().string();
  return identity;
}

bool same(const Identity& a, const Identity& b) {
  if (a.exists != b.exists) return false;
  if (!a.exists) return !a.normal.empty() && a.normal == b.normal;
  return !a.shared && a.device == b.device && a.inode == b.inode;
}

}  // namespace

std::string outputTarget(const std::string& path, bool& dangling) {
  dangling = false;
  struct stat info {};
  std::error_code error;
  if (stat(path.c_str(), &info) == 0) {
    fs::path target = fs::canonical(path, error);
    return error || target.empty() ? path : target.string();
  }
  fs::path current = path;
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
    fs::path next = fs::read_symlink(current, error);
    if (error) break;
    current = next.is_absolute() ? next : current.parent_path() / next;
    dangling = true;
  }
  return current.string();
}

bool checkRunFiles(const std::vector<RunFile>& inputs, const std::vector<RunFile>& outputs, std::string& error) {
  std::vector<std::pair<Identity, std::string>> taken;
  for (const RunFile& input : inputs) {
    if (input.path == "-") {
      if (std::optional<Identity> identity = descriptorIdentity(STDIN_FILENO)) taken.emplace_back(*identity, input.label);
      continue;
    }
    struct stat info {};
    // An input that does not exist is reported where it is opened.
    if (stat(input.path.c_str(), &info) == 0) taken.emplace_back(fromStat(info), input.label);
  }
  // Standard output and standard error are compared unless they are the
  // same device (a terminal) or closed.
  if (std::optional<Identity> identity = descriptorIdentity(STDOUT_FILENO)) taken.emplace_back(*identity, "standard output");
  if (std::optional<Identity> identity = descriptorIdentity(STDERR_FILENO)) taken.emplace_back(*identity, "standard error");
  for (const RunFile& output : outputs) {
    Identity identity = pathIdentity(output.path);
    for (const auto& [other, label] : taken)
      if (same(identity, other)) {
        error = output.label + " is the same file as " + label;
        return false;
      }
    taken.emplace_back(std::move(identity), output.label);
  }
  return true;
}

bool checkRunFiles(const CommandLine& options, std::string& error) {
  std::vector<RunFile> inputs, outputs;
  auto quoted = [](const std::string& path) { return "'" + path + "'"; };
  if (options.inputs.empty()) inputs.push_back({"-", "standard input"});
  for (const std::string& input : options.inputs)
    inputs.push_back({input, input == "-" ? "standard input" : "input " + quoted(input)});
  for (const CommandLine::ValueSource& source : options.valueSources)
    if (source.file) inputs.push_back({source.text, "values file " + quoted(source.text)});
  auto output = [&outputs, &quoted](const std::string& path, const char* option) {
    if (!path.empty()) outputs.push_back({path, "output " + quoted(path) + " of " + option});
  };
  output(options.outputPath, "-o");
  if (!options.bodePath.empty()) {
    output(bodePathWith(options.bodePath, ".svg"), "--bode");
    output(bodePathWith(options.bodePath, ".csv"), "--bode");
  }
  output(options.poleZeroPath, "--pz");
  output(options.reportPath, "--report");
  return checkRunFiles(inputs, outputs, error);
}

}  // namespace velkor
