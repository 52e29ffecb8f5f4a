// The command line: parsing in-process, and the real executable run through
// a shell for files, -o, --help, --version and every error case.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "support/run_helpers.h"
#include "support/scratch_dir.h"

namespace velkor::testing {
namespace {

namespace fs = std::filesystem;

struct Parsed {
  bool ok;
  CommandLine options;
  std::string error;
};

Parsed parse(std::vector<std::string> args) {
  args.insert(args.begin(), "velkor");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  Parsed parsed;
  parsed.ok = parseCommandLine(static_cast<int>(args.size()), argv.data(), parsed.options, parsed.error);
  return parsed;
}

TEST(CommandLineParse, OptionsAndFilesInAnyOrder) {
  Parsed p = parse({"a.net", "--output=out.txt", "-", "--path", "plain", "--", "-o"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.action, CommandLine::Action::Run);
  EXPECT_EQ(p.options.outputPath, "out.txt");
  EXPECT_TRUE(p.options.plainPath);
  EXPECT_EQ(p.options.inputs, (std::vector<std::string>{"a.net", "-", "-o"}));

  p = parse({"-oout.txt", "--path=plain", "--path=fast", "--pat=plain"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.outputPath, "out.txt");
  EXPECT_TRUE(p.options.plainPath);  // a unique prefix names the option
  EXPECT_TRUE(p.options.inputs.empty());

  EXPECT_EQ(parse({"-V", "--help"}).options.action, CommandLine::Action::Version);
  EXPECT_EQ(parse({"--he"}).options.action, CommandLine::Action::Help);
}

TEST(CommandLineParse, EachMistakeNamedInOneLine) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--bogus"}, "unrecognized option '--bogus'"},
      {{"--bogus=1"}, "unrecognized option '--bogus=1'"},
      {{"-x"}, "invalid option '-x'"},
      {{"-Vx"}, "invalid option '-x'"},
      {{"-o"}, "option '-o' requires an argument"},
      {{"--output"}, "option '--output' requires an argument"},
      {{"--help=yes"}, "option '--help' does not take an argument"},
      {{"--path=slow"}, "invalid argument 'slow' for '--path'; valid arguments are 'fast' and 'plain'"},
      {{"--path="}, "invalid argument '' for '--path'; valid arguments are 'fast' and 'plain'"},
  };
  for (const auto& [args, message] : cases) {
    Parsed p = parse(args);
    EXPECT_FALSE(p.ok) << args[0];
    EXPECT_EQ(p.error, message) << args[0];
  }
}

// The golden netlist of every parameter of an RC section, and its expected
// output (elapsed time masked).
std::string goldenInput() { return readFile(std::string(VELKOR_GOLDEN_DIR) + "/all32_rc.net"); }
std::string goldenOutput() { return maskOutput(readFile(std::string(VELKOR_GOLDEN_DIR) + "/all32_rc.out")); }

TEST(CommandLineProgram, InputsReadAsOneStream) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  const std::string text = goldenInput();
  // Split inside the word "c1": the files join as one input.
  const std::size_t cut = text.find("c1") + 1;
  scratch.write("a.net", text.substr(0, cut));
  scratch.write("b.net", text.substr(cut));

  for (const char* script :
       {"\"$VELKOR\" a.net b.net", "\"$VELKOR\" a.net - <b.net", "\"$VELKOR\" --path=plain a.net b.net"}) {
    ShellRun run = runShell(scratch, script);
    EXPECT_EQ(run.status, 0) << script;
    EXPECT_EQ(run.err, "") << script;
    EXPECT_EQ(maskOutput(run.out), goldenOutput()) << script;
  }
  // No argument: standard input, as the filter always read it.
  ShellRun run = runShell(scratch, "cat a.net b.net | \"$VELKOR\"");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(maskOutput(run.out), goldenOutput());
}

TEST(CommandLineProgram, OutputFileWrittenOnlyWhenTheRunSucceeds) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  scratch.write("in.net", goldenInput());
  ShellRun run = runShell(scratch, "\"$VELKOR\" -o out.txt in.net");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  EXPECT_EQ(maskOutput(readFile(scratch.path("out.txt"))), goldenOutput());

  // An input that cannot be opened leaves an existing output as it was.
  scratch.write("out.txt", "kept\n");
  run = runShell(scratch, "\"$VELKOR\" --output=out.txt in.net missing.net");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(readFile(scratch.path("out.txt")), "kept\n");

  if (fs::exists("/proc/self/mem")) {
    // Reading offset 0 of the process's own memory fails with EIO.
    run = runShell(scratch, "\"$VELKOR\" -o new.txt in.net /proc/self/mem");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "velkor: error reading '/proc/self/mem': Input/output error\n");
    EXPECT_FALSE(fs::exists(scratch.path("new.txt")));
  }
  if (fs::exists("/dev/full")) {
    run = runShell(scratch, "\"$VELKOR\" -o /dev/full in.net");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "velkor: error writing '/dev/full': No space left on device\n");
  }
  // Nothing but the files written here: no temporary file stays behind.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(scratch.dir())) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".stderr", ".stdout", "in.net", "out.txt", "script.sh"}));
}

TEST(CommandLineProgram, HelpAndVersion) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  ShellRun run = runShell(scratch, "\"$VELKOR\" --help </dev/null");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind("Usage: velkor [OPTION]... [FILE]...\n", 0), 0u) << run.out;
  for (const char* option : {"-o, --output=FILE", "--path=PATH", "-h, --help", "-V, --version", "echo h | velkor"})
    EXPECT_NE(run.out.find(option), std::string::npos) << option;

  run = runShell(scratch, "\"$VELKOR\" -V </dev/null");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "velkor " VELKOR_VERSION);
}

TEST(CommandLineProgram, MistakesExitTwoWithOneLineAndNothingWritten) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  scratch.write("in.net", goldenInput());
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"--bogus in.net", "unrecognized option '--bogus'"},
      {"--path=slow in.net", "invalid argument 'slow' for '--path'; valid arguments are 'fast' and 'plain'"},
      {"--format=xml in.net",
       "invalid argument 'xml' for '--format'; valid arguments are 'text', 'json', 'latex' and 'latex-body'"},
      {"in.net -o", "option '-o' requires an argument"},
      {"-o out.txt in.net missing.net", "cannot open 'missing.net': No such file or directory"},
      {"-o out.txt in.net .", "cannot read '.': Is a directory"},
      {"-o no/such/dir/out.txt in.net", "cannot create 'no/such/dir/out.txt': No such file or directory"},
      {"-o . in.net", "cannot create '.': Is a directory"},
      {"</", "standard input: Is a directory"},
      {"- in.net <&-", "standard input: Bad file descriptor"},
  };
  for (const auto& [args, message] : cases) {
    ShellRun run = runShell(scratch, "\"$VELKOR\" " + args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(run.out, "") << args;
    EXPECT_EQ(run.err, "velkor: " + message + "\nTry 'velkor --help'.\n") << args;
    EXPECT_FALSE(fs::exists(scratch.path("out.txt"))) << args;
  }
}

TEST(CommandLineProgram, ClosedPipeEndsTheRunQuietly) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  std::string many;
  for (int i = 0; i < 2000; ++i) many += goldenInput();  // megabytes of output
  scratch.write("many.net", many);
  ShellRun run = runShell(scratch, "(\"$VELKOR\" many.net 2>err.txt; echo $? >status.txt) | head -c 100 >/dev/null");
  EXPECT_EQ(readFile(scratch.path("status.txt")), "141\n");  // 128 + SIGPIPE
  EXPECT_EQ(readFile(scratch.path("err.txt")), "");
}

}  // namespace
}  // namespace velkor::testing
