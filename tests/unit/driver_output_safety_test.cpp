// Whole runs that must never destroy what the user has: outputs that would
// overwrite an input, another output or standard output are refused; a run
// that fails, runs out of memory or is ended by a signal replaces no file
// and leaves no temporary file; closed standard descriptors are never
// taken by a file of the run; inputs are opened one at a time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "driver/program_entry.h"
#include "support/failing_new.h"
#include "support/run_helpers.h"
#include "support/scratch_dir.h"
#include "support/spool_output.h"

namespace velkor::testing {
namespace {

namespace fs = std::filesystem;

// Every file of the scratch directory (links as links) with its content,
// apart from the files of runShell itself.
std::map<std::string, std::string> snapshot(const Scratch& scratch) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(scratch.dir())) {
    const std::string name = entry.path().filename();
    if (name == ".stdout" || name == ".stderr" || name == "script.sh" || name == "stderr.txt") continue;
    files[name] = entry.is_symlink() ? "-> " + fs::read_symlink(entry.path()).string() : readFile(entry.path());
  }
  return files;
}

std::vector<std::string> hiddenFiles(const Scratch& scratch) {
  std::vector<std::string> hidden;
  for (const auto& [name, content] : snapshot(scratch))
    if (name[0] == '.') hidden.push_back(name);
  return hidden;
}

void writeSallenKey(const Scratch& scratch) {
  scratch.write("sk.net", readFile(std::string(VELKOR_EXAMPLES_DIR) + "/sallen_key_lowpass.net"));
  scratch.write("sk.values", readFile(std::string(VELKOR_EXAMPLES_DIR) + "/sallen_key_lowpass.values"));
}

// Each command line either is refused before anything is read or written
// (status 2), or fails (status 1); either way every file stays as it was.
// Text set aside comes back byte for byte, in whole lines or in blocks,
// whether it stayed in memory or went on to a temporary file part way
// (the listings of a document run).
TEST(OutputSafety, TextSetAsideComesBackWhole) {
  for (std::size_t lines : {0u, 3u, 20000u, 90000u}) {
    SpoolOutput spool;
    std::string written;
    for (std::size_t k = 0; k < lines; ++k) {
      const std::string line = "line " + std::to_string(k) + std::string(k % 37, '.') + "\n";
      spool.write(line.data(), line.size());
      written += line;
    }
    EXPECT_EQ(spool.size(), written.size());
    for (bool blocks : {false, true}) {
      std::string back;
      auto take = [&](std::string_view piece) {
        if (!blocks) {
          EXPECT_TRUE(piece.empty() || piece.back() == '\n');
        }
        back += piece;
      };
      if (blocks)
        spool.readBackBlocks(take);
      else
        spool.readBack(take);
      EXPECT_EQ(back, written) << lines << " lines, " << (blocks ? "blocks" : "lines");
    }
    EXPECT_FALSE(spool.failed());
  }
}

TEST(OutputSafety, RunsThatWouldDestroyAFileLeaveEveryFileAsItWas) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  writeSallenKey(scratch);
  scratch.write("sk.csv", readFile(scratch.path("sk.net")));
  scratch.write("bad.net", "r1 1 1000\nr2 1 0\nf 1 0 1 0\np z11\nend\n");
  for (const char* old : {"x", "y.svg", "y.csv", "out.txt", "b.svg", "b.csv"}) scratch.write(old, "old\n");
  fs::create_symlink("sk.net", scratch.path("link.html"));
  const std::string usage = "\nTry 'velkor --help'.\n";
  const struct {
    std::string arguments;
    int status;
    std::string err;
  } cases[] = {
      {"--values=sk.values --bode=sk sk.csv", 2, "output 'sk.csv' of --bode is the same file as input 'sk.csv'" + usage},
      {"-o sk.net sk.net", 2, "output 'sk.net' of -o is the same file as input 'sk.net'" + usage},
      {"--values=sk.values --report=sk.net sk.net", 2,
       "output 'sk.net' of --report is the same file as input 'sk.net'" + usage},
      {"--values=sk.values --pz=sk.values sk.net", 2,
       "output 'sk.values' of --pz is the same file as values file 'sk.values'" + usage},
      {"--values=sk.values --report=link.html sk.net", 2,
       "output 'link.html' of --report is the same file as input 'sk.net'" + usage},
      {"-o sk.net <sk.net", 2, "output 'sk.net' of -o is the same file as standard input" + usage},
      {"--values=sk.values -o x --report=x sk.net", 2,
       "output 'x' of --report is the same file as output 'x' of -o" + usage},
      {"--values=sk.values --bode=y --pz=y.svg sk.net", 2,
       "output 'y.svg' of --pz is the same file as output 'y.svg' of --bode" + usage},
      {"--values=sk.values -o new.txt --report=./sub/../new.txt sk.net", 2,
       "output './sub/../new.txt' of --report is the same file as output 'new.txt' of -o" + usage},
      {"--values=sk.values --report=/dev/stdout sk.net >>out.txt", 2,
       "output '/dev/stdout' of --report is the same file as standard output" + usage},
      {"-o /dev/stdout sk.net >>out.txt", 2, "output '/dev/stdout' of -o is the same file as standard output" + usage},
      {"-o '' sk.net", 2, "option '--output' needs a file name" + usage},
      {"--output sk.net </dev/null", 1, "error: the input holds no netlist; no output file written\n"},
      {"-o out.txt bad.net", 1,
       "bad.net:1:6: error: node label 1000 must be less than 1000\n"
       "velkor: no output file written, because of the errors above\n"},
      {"--values=sk.values -o out.txt --bode=b --report=/dev/full sk.net", 1,
       "error writing '/dev/full': No space left on device\n"},
  };
  fs::create_directory(scratch.path("sub"));
  for (const auto& c : cases) {
    const std::map<std::string, std::string> before = snapshot(scratch);
    ShellRun run = runShell(scratch, "\"$VELKOR\" " + c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments;
    EXPECT_EQ(run.err.substr(run.err.find("velkor: ") == 0 ? 8 : 0), c.err) << c.arguments;
    EXPECT_EQ(snapshot(scratch), before) << c.arguments;
  }
}

// Replacing a file: its mode without set-ID bits; a link stays a link; a
// dangling link gets its file, with a note; a file its user may not write
// is refused as the shell's `>` refuses it (root may write it).
TEST(OutputSafety, ReplacingAFileKeepsModeLinksAndPermissions) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  writeSallenKey(scratch);
  const std::string results = maskOutput(runShell(scratch, "\"$VELKOR\" sk.net").out);
  scratch.write("setid.txt", "old\n");
  fs::permissions(scratch.path("setid.txt"), static_cast<fs::perms>(06750));
  scratch.write("real.txt", "old\n");
  fs::create_symlink("real.txt", scratch.path("link.txt"));
  fs::create_symlink("made.txt", scratch.path("dangling.txt"));

  ShellRun run = runShell(scratch, "\"$VELKOR\" -o setid.txt sk.net && \"$VELKOR\" -o link.txt sk.net");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(fs::status(scratch.path("setid.txt")).permissions(), static_cast<fs::perms>(0750));
  EXPECT_EQ(maskOutput(readFile(scratch.path("setid.txt"))), results);
  EXPECT_TRUE(fs::is_symlink(scratch.path("link.txt")));
  EXPECT_EQ(maskOutput(readFile(scratch.path("real.txt"))), results);

  // Results of -o may go to the pipe behind standard output.
  run = runShell(scratch, "\"$VELKOR\" -o /dev/stdout sk.net | cat");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(maskOutput(run.out), results);

  run = runShell(scratch, "\"$VELKOR\" -o dangling.txt sk.net");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "velkor: note: 'dangling.txt' is a symbolic link to 'made.txt', which does not exist; it is created\n");
  EXPECT_TRUE(fs::is_symlink(scratch.path("dangling.txt")));
  EXPECT_EQ(maskOutput(readFile(scratch.path("made.txt"))), results);

  // A read-only file, written by a user other than root.
  scratch.write("ro.txt", "old\n");
  fs::permissions(scratch.path("ro.txt"), static_cast<fs::perms>(0444));
  fs::permissions(scratch.dir(), fs::perms::all);
  fs::permissions(scratch.path("sk.net"), static_cast<fs::perms>(0644));
  const std::string asUser =
      geteuid() != 0 ? "" : (access("/usr/bin/setpriv", X_OK) == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "-");
  if (asUser != "-") {
    run = runShell(scratch, asUser + "\"$VELKOR\" -o ro.txt sk.net");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "velkor: cannot write 'ro.txt': Permission denied\nTry 'velkor --help'.\n");
    EXPECT_EQ(readFile(scratch.path("ro.txt")), "old\n");
  }
  if (geteuid() == 0) {
    run = runShell(scratch, "\"$VELKOR\" -o ro.txt sk.net");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(maskOutput(readFile(scratch.path("ro.txt"))), results);
    EXPECT_EQ(fs::status(scratch.path("ro.txt")).permissions(), static_cast<fs::perms>(0444));
  }
  EXPECT_EQ(hiddenFiles(scratch), std::vector<std::string>{});
}

// A closed standard output or error is never taken by a file of the run:
// the results fail to be written (exit 1, no plot put in place), and
// warnings go nowhere, not into the plot.
TEST(OutputSafety, ClosedStandardDescriptorsAreNotTakenByFiles) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  writeSallenKey(scratch);
  ShellRun run = runShell(scratch, "\"$VELKOR\" --values=sk.values --bode=b sk.net >&-");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "velkor: error writing standard output: Bad file descriptor\n");
  EXPECT_FALSE(fs::exists(scratch.path("b.svg")));

  run = runShell(scratch, "\"$VELKOR\" --values=sk.values --set=r99=1 --bode=b --pz=p.svg sk.net 2>&-");
  EXPECT_EQ(run.status, 0);
  for (const char* svg : {"b.svg", "p.svg"}) {
    const std::string plot = readFile(scratch.path(svg));
    EXPECT_EQ(plot.rfind("<svg", 0), 0u) << svg;
    EXPECT_EQ(plot.find("warning"), std::string::npos) << svg;
  }
  EXPECT_EQ(hiddenFiles(scratch), std::vector<std::string>{});
}

// Starts velkor in `dir` with default signal actions, its standard input
// the read end of a pipe whose write end is returned in `feed`.
pid_t startVelkor(const std::string& dir, const std::vector<std::string>& arguments, int& feed) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    dup2(pipeEnds[0], STDIN_FILENO);
    const int sink = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(sink, STDOUT_FILENO);
    dup2(sink, STDERR_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    close(sink);
    for (int number = 1; number < NSIG; ++number) ::signal(number, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    std::vector<char*> argv{const_cast<char*>(VELKOR_BINARY)};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(VELKOR_BINARY, argv.data());
    _exit(127);
  }
  close(pipeEnds[0]);
  feed = pipeEnds[1];
  return pid;
}

// Every fatal signal, while the run waits for input with its temporary
// files created, removes them and ends the program by that signal.
TEST(OutputSafety, FatalSignalsRemoveTemporaryFiles) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  writeSallenKey(scratch);
  scratch.write("out.txt", "old\n");
  const std::vector<std::string> arguments{"-o", "out.txt", "--values=sk.values", "--bode=b", "--report=r.html", "-"};
  for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2}) {
    int feed = -1;
    const pid_t pid = startVelkor(scratch.dir(), arguments, feed);
    ASSERT_GT(pid, 0);
    // Half the input is given: the run waits for the rest.
    const std::string input = readFile(scratch.path("sk.net"));
    ASSERT_EQ(write(feed, input.data(), input.size() / 2), static_cast<ssize_t>(input.size() / 2));
    for (int wait = 0; wait < 1000 && hiddenFiles(scratch).size() < 4; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(hiddenFiles(scratch).size(), 4u) << strsignal(signal);
    // A stop signal that lands between the run's last look at its flag and
    // its next read waits for input like any read; a second one acts at
    // once, as a user pressing Ctrl-C twice would see.
    int status = 0;
    for (int tries = 0; tries < 100; ++tries) {
      kill(pid, signal);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (waitpid(pid, &status, WNOHANG) == pid) break;
    }
    close(feed);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << strsignal(signal) << " " << status;
    EXPECT_EQ(hiddenFiles(scratch), std::vector<std::string>{}) << strsignal(signal);
    EXPECT_EQ(readFile(scratch.path("out.txt")), "old\n") << strsignal(signal);
    EXPECT_FALSE(fs::exists(scratch.path("b.svg"))) << strsignal(signal);
  }
}

// Runs the program in this process with standard error in `errFile`, and
// the operator new armed as armFailingNew() is; `requests` receives the
// requests counted.
int runEntry(std::vector<std::string> arguments, const std::string& errFile, std::uint64_t failAt, bool forGood,
             std::uint64_t& requests) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  // The program installs its signal handlers; this process keeps its own.
  const int handled[] = {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ};
  struct sigaction actions[std::size(handled)];
  for (std::size_t i = 0; i < std::size(handled); ++i) sigaction(handled[i], nullptr, &actions[i]);
  std::fflush(stderr);
  const int saved = dup(STDERR_FILENO);
  const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(err, STDERR_FILENO);
  close(err);
  armFailingNew(failAt, forGood);
  const int status = programEntry(static_cast<int>(argv.size()) - 1, argv.data());
  requests = disarmFailingNew();
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  for (std::size_t i = 0; i < std::size(handled); ++i) sigaction(handled[i], &actions[i], nullptr);
  return status;
}

// Every allocation of a numeric run with every output (results, plots,
// report, approximation) refused in turn, once alone and once for good:
// the run either succeeds with the reference files or ends with the memory
// message, exit 1, every old file kept and no temporary file left.
TEST(OutputSafety, RefusedAllocationsInNumericRunsEndCleanly) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  writeSallenKey(scratch);
  const std::vector<std::string> outputs{"out.txt", "b.svg", "b.csv", "p.svg", "r.html"};
  const std::vector<std::string> arguments{"velkor",          "-o",
                                           scratch.path("out.txt"), "--values=" + scratch.path("sk.values"),
                                           "--eval",          "--approx=0.1",
                                           "--bode=" + scratch.path("b"), "--pz=" + scratch.path("p.svg"),
                                           "--report=" + scratch.path("r.html"), scratch.path("sk.net")};
  const std::string errFile = scratch.path("stderr.txt");
  std::uint64_t requests = 0, counted = 0;
  ASSERT_EQ(runEntry(arguments, errFile, 0, false, requests), 0) << readFile(errFile);
  ASSERT_GT(requests, 100u);
  std::map<std::string, std::string> reference;
  for (const std::string& name : outputs) reference[name] = maskOutput(readFile(scratch.path(name)));

  // The first requests one by one, then about 80 spread over the run.
  std::vector<std::uint64_t> refused;
  for (std::uint64_t n = 1; n <= requests; n += n < 50 ? 1 : std::max<std::uint64_t>(1, requests / 80))
    refused.push_back(n);
  refused.push_back(requests);
  int failures = 0;
  for (std::uint64_t n : refused)
    for (bool forGood : {false, true}) {
      for (const std::string& name : outputs) scratch.write(name, "old\n");
      const int status = runEntry(arguments, errFile, n, forGood, counted);
      const std::string err = readFile(errFile);
      const std::string where = "request " + std::to_string(n) + (forGood ? " for good" : " alone");
      EXPECT_EQ(hiddenFiles(scratch), std::vector<std::string>{}) << where;
      if (status == 0) {
        for (const std::string& name : outputs)
          EXPECT_EQ(maskOutput(readFile(scratch.path(name))), reference[name]) << where << " " << name;
        continue;
      }
      ++failures;
      // Reading the values file reports its own failure (status 2); every
      // later one is the memory message.
      EXPECT_TRUE(status == 1 || status == 2) << where;
      EXPECT_NE(err.find(status == 1 ? "velkor: insufficient memory to complete processing\n" : "velkor: "),
                std::string::npos)
          << where << ": " << err;
      for (const std::string& name : outputs) EXPECT_EQ(readFile(scratch.path(name)), "old\n") << where << " " << name;
    }
  EXPECT_GT(failures, 0);
}

// An element name that is not UTF-8 (Latin-1 "c\xb5") in a JSON document
// with numbers, with and without a value (then it is listed as missing):
// valid JSON, the byte written as U+FFFD.
TEST(OutputSafety, NamesThatAreNotUtf8InJsonNumbers) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  scratch.write("l1.net", "c\xb5 1 0\nr1 1 0\nf 1 0 1 0\np z11\nend\n");
  scratch.write("all.val", "c\xb5 1u\nr1 1k\n");
  scratch.write("some.val", "r1 1k\n");
  for (const char* values : {"all.val", "some.val"}) {
    ShellRun run =
        runShell(scratch, std::string("\"$VELKOR\" --format=json --eval --approx=0.1 --values=") + values + " l1.net");
    EXPECT_EQ(run.status, 0) << values << run.err;
    nlohmann::json document = nlohmann::json::parse(run.out, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << values << run.out;
    EXPECT_NE(run.out.find("c\xef\xbf\xbd"), std::string::npos) << values;
  }
  EXPECT_EQ(hiddenFiles(scratch), std::vector<std::string>{});
}

// 1,100 input files under a limit of 1,024 descriptors: each is opened only
// when reading reaches it. The netlist is in the last one.
TEST(OutputSafety, ManyInputFilesUnderADescriptorLimit) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  std::string names;
  for (int i = 0; i < 1100; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%04d.net", i);
    scratch.write(name, i < 1099 ? "{part}\n" : "r1 1 0\nf 1 0 1 0\np z11\nend\n");
  }
  ShellRun run = runShell(scratch, "ulimit -n 1024 && \"$VELKOR\" -o out.txt f*.net");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(readFile(scratch.path("out.txt")).find("+ s^0  (\n             r1"), std::string::npos);
}

}  // namespace
}  // namespace velkor::testing
