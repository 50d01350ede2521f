// zorvtalk-cli as a user runs it: a child process against zorv-sim on a pty, its
// output, exit status and what reached the controller.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_options.h"
#include "tests/integration/sim_process.h"

#ifndef ZORV_CLI_PATH
#error ZORV_CLI_PATH must name the zorvtalk-cli executable
#endif

namespace {

using Args = std::vector<std::string>;
using namespace std::string_literals;

struct CliResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

// A folder of the test's own: HOME and settings live there, never the developer's.
std::string g_home;

// Runs the program, feeds it input, and calls meanwhile(pid) while it runs; stderr
// goes to err_fd when one is given; the standard descriptors in the bit mask closed
// (1 << fd) are closed; stdout goes to out_fd when one is given; the signals in the bit
// mask ignored (1 << signal) start ignored, as under nohup. A run that outlives 20 s
// is killed and fails.
CliResult run_cli(const Args& args, const std::string& input = "", std::function<void(pid_t)> meanwhile = nullptr,
                  const std::string& exe = ZORV_CLI_PATH, int err_fd = -1, int closed = 0, int out_fd = -1,
                  int ignored = 0) {
    Args argv_s = {exe};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argv_s) argv.push_back(const_cast<char*>(s.c_str()));
    argv.push_back(nullptr);
    Args env_s = {"HOME=" + g_home, "XDG_CONFIG_HOME=" + g_home, "PATH=/usr/bin:/bin", "TZ=UTC"};
    std::vector<char*> envp;
    for (auto& s : env_s) envp.push_back(const_cast<char*>(s.c_str()));
    envp.push_back(nullptr);

    int in[2], out[2], err[2];
    CliResult r;
    // Close-on-exec: a run started meanwhile from another thread must not hold our pipes open.
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return r;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out_fd >= 0 ? out_fd : out[1], 1);
        dup2(err_fd >= 0 ? err_fd : err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        for (int fd = 0; fd <= 2; ++fd)
            if (closed & (1 << fd)) close(fd);
        // Whatever this test ran under (a background job ignores SIGINT), the runner
        // starts with the signals the case names ignored and no other.
        for (int s : {SIGHUP, SIGINT, SIGPIPE, SIGTERM}) signal(s, ignored & (1 << s) ? SIG_IGN : SIG_DFL);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (!input.empty() && write(in[1], input.data(), input.size()) != ssize_t(input.size())) ADD_FAILURE();
    close(in[1]);
    if (meanwhile) meanwhile(pid);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* into[2] = {&r.out, &r.err};
    int open_fds = 2;
    while (open_fds > 0 && std::chrono::steady_clock::now() < deadline) {
        if (poll(fds, 2, 100) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents) continue;
            char buf[4096];
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                into[i]->append(buf, size_t(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
            }
        }
    }
    if (open_fds > 0) {
        ADD_FAILURE() << "zorvtalk-cli ran longer than 20 s";
        kill(pid, SIGKILL);
    }
    for (auto& f : fds)
        if (f.fd >= 0) close(f.fd);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// Polls the simulator's trace until it holds text after offset from (at most 10 s).
bool sim_saw(const SimProcess& sim, const std::string& text, size_t from = 0) {
    for (int i = 0; i < 1000; ++i) {
        if (sim_log(&sim).find(text, from) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class CliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_FALSE(test_temp_dir().empty());
        g_home = test_temp_dir() + "/home";
        ASSERT_EQ(mkdir(g_home.c_str(), 0700), 0);
    }
    void SetUp() override { watchdog_arm(300); }
    void TearDown() override { sim_stop(&sim); }
    void start(const Args& args = {}) { ASSERT_TRUE(sim_start(&sim, 77, args)); }
    Args port() const { return {"--port", sim.link_path, "--baud", "115200"}; }
    // Runs with standard error (and output, when out_too) on a terminal; what the
    // terminal showed goes to *screen.
    CliResult run_on_pty(const Args& args, std::string* screen, bool out_too = false) {
        int master = -1, slave = -1;
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return CliResult();
        CliResult r = run_cli(with_port(args), "", nullptr, ZORV_CLI_PATH, slave, 0, out_too ? slave : -1);
        close(slave);
        fcntl(master, F_SETFL, O_NONBLOCK);
        char buf[4096];
        for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) screen->append(buf, size_t(n));
        close(master);
        return r;
    }
    Args with_port(Args more) const {
        Args a = port();
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }
    SimProcess sim;
};

// What the option parser (in this process) refuses; a run of the program shows that a
// refusal exits 2 before any port is touched, and that an early answer exits 0.
TEST_F(CliTest, UsageErrorsExitTwoBeforeTouchingAPort) {
    auto parse = [](const Args& args, CliOptions* o, std::string* error) {
        Args all = {"zorvtalk-cli"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        return cli_parse_options(int(all.size()), argv.data(), o, error);
    };
    const struct {
        Args args;
        const char* says;
    } cases[] = {
        {{"--port", "COM0", "--baud", "9600"}, "bad --port"},
        {{"--port", "COM256", "--baud", "9600"}, "bad --port"},
        {{"--port", "5", "--baud", "fast"}, "bad --baud"},
        {{"--port", "5", "--baud", "0"}, "bad --baud"},
        {{"--port", "5", "--set-pins", "data=A"}, "bad --set-pins"},
        {{"--port", "5", "--set-pins", "control=12"}, "bad --set-pins"},
        {{"--port", "5", "--set-pins", "status=00"}, "bad --set-pins"},
        {{"--port", "5", "--set-pins", "data=AA,data=BB"}, "bad --set-pins"},
        {{"--port", "5", "--timeout", "0"}, "bad --timeout"},
        {{"--port", "5", "--timeout", "-1"}, "bad --timeout"},
        {{"--port", "5", "--timeout", "1e3"}, "bad --timeout"},
        {{"--port", "5", "--frobnicate"}, "unknown option"},
        {{"--port", "5", "stray"}, "unexpected argument"},
        {{"--port"}, "--port needs a value"},
        {{"--echo=yes"}, "takes no value"},
        {{"--port", "5", "--baud", "9600", "--fail-on", "ERR ("}, "bad --fail-on: bad regular expression 'ERR ('"},
        {{"--port", "5", "--baud", "9600", "--expect", "ok", "--expect", "[z"}, "bad --expect"},
        {{"--port", "5", "--baud", "9600", "--fail-on", "a)|(b"}, "bad --fail-on"},  // no half of a wrapper
        {{"--port", "5", "--watch", "5"}, "bad --watch"},
        {{"--port", "5", "--count", "3"}, "--count needs --watch"},
    };
    for (const auto& c : cases) {
        CliOptions o;
        std::string error;
        EXPECT_EQ(parse(c.args, &o, &error), 0) << c.args.back();
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
    CliOptions help;
    std::string error;
    ASSERT_EQ(parse({"--help"}, &help, &error), 1) << error;
    EXPECT_TRUE(help.help);
    EXPECT_NE(std::string(CLI_USAGE).find("Exit status"), std::string::npos);

    // The command file is opened by the run, still before the port.
    const struct {
        Args args;
        const char* says;
    } runs[] = {
        {{"--port", "5", "--baud", "9600", "--file", "/nonexistent/commands"}, "cannot open"},
        {{"--port", "5", "--baud", "9600", "--file", "/tmp"}, "is a folder"},
    };
    for (const auto& c : runs) {
        CliResult r = run_cli(c.args);
        EXPECT_EQ(r.status, 2) << c.args.back();
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    CliResult version = run_cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("zorvtalk-cli ") + ZORV_VERSION + "\n");
}

TEST_F(CliTest, CommandsFileReportAndPinsInOrder) {
    start();
    // -c text is cut into lines as a file is, so an embedded line end never sends
    // two commands as one; the last file line needs no line end.
    CliResult r = run_cli(with_port({"--set-pins", "data=AA,control=5", "-c", "pos 1 -2 3 4", "-c", "echo a\necho b",
                                     "--file", "-", "--report", "--pins"}),
                          "echo c\r\n\r\necho d\x01\recho \x80\xff");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ok\na\nb\nc\n\nd\n\x80\xff\nQ=0, X=1, Y=-2, Z=3, W=4\ndata=AA status=D0 control=05\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, EchoTimesAndQuiet) {
    start();
    const struct {
        Args args;
        const char* out;  // a regular expression
    } cases[] = {
        {{"--echo", "-c", "echo x"}, "> echo x\n< x\n"},
        {{"--times", "--echo", "-c", "echo x"}, "\\d\\d:\\d\\d:\\d\\d\\.\\d{3} > echo x\n\\d\\d:\\d\\d:\\d\\d\\.\\d{3} < x\n"},
        {{"--quiet", "--echo", "-c", "echo x", "--pins"}, "data=00 status=80 control=00\n"},
    };
    for (const auto& c : cases) {
        CliResult r = run_cli(with_port(c.args));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(std::regex_match(r.out, std::regex(c.out))) << r.out;
    }
}

TEST_F(CliTest, TimeoutStopsTheCommandAndKeepsRepliesPaired) {
    start();
    for (bool keep_going : {false, true}) {
        Args args = {"--timeout", "0.3", "-c", "run 60000", "-c", "echo after"};
        if (keep_going) args.push_back("--keep-going");
        CliResult r = run_cli(with_port(args));
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("(no reply: timed out after 0.3 s; stop sent, the controller answered \"stopped\")"),
                  std::string::npos)
            << r.err;
        // The late "stopped" is never taken for the next command's reply.
        EXPECT_EQ(r.out, keep_going ? "after\n" : "");
    }
    std::string log = sim_log(&sim);
    EXPECT_NE(log.find("ctrl 01"), std::string::npos);
}

TEST_F(CliTest, FailuresGiveTheirExitStatus) {
    const struct {
        Args sim_args;
        Args cli_args;
        std::string input;
        int status;
        std::string out;
        std::string says;
    } cases[] = {
        {{"--greeting", "none"}, {}, "", 3, "", "did not answer the greeting"},
        {{"--hangup-after", "2"}, {"--file", "-"}, "echo 1\necho 2\necho 3\necho 4\n", 4, "1\n2\n", "(no reply: port lost)"},
        {{"--hangup-after", "1"}, {"--keep-going", "-c", "ok", "-c", "ok", "-c", "ok"}, "", 4, "ok\n", "port lost"},
        {{"--crlf"}, {"-c", "ok", "-c", "ok"}, "", 0, "ok\nok\n", ""},
        // Unasked bytes behind each reply are dropped before the next command, and said.
        {{"--stray", "late\\r"}, {"-c", "ok", "-c", "echo b"}, "", 0, "ok\nb\n",
         "zorvtalk-cli: dropped 5 bytes of input that answered nothing: \"late\\x0d\""},
        // A reply line that streams without end still yields to the time-out.
        {{}, {"--timeout", "0.5", "-c", "stream 10"}, "", 1, "", "xxxxxxxxxxstopped\")"},
        // A line the controller cannot hold is not sent cut.
        {{}, {"-c", "echo " + std::string(251, 'e'), "-c", "ok"}, "", 1, "",
         "(not sent: the line is longer than 255 characters)"},
        {{}, {"--keep-going", "-c", "echo " + std::string(251, 'e'), "-c", "len 300"}, "", 1,
         std::string(300, 'a') + "\n",
         "1 of 2 lines failed"},
        // A NUL inside a reply ends neither the reply printed nor the one judged.
        {{}, {"-c", "bytes 41 00 42", "--fail-on", "A"}, "", 1, "A\0B\n"s, "(failed: reply \"A\0B\" matches --fail-on)"s},
    };
    for (const auto& c : cases) {
        start(c.sim_args);
        CliResult r = run_cli(with_port(c.cli_args), c.input);
        const std::string name = c.sim_args.empty() ? c.cli_args[1] : c.sim_args[0];
        EXPECT_EQ(r.status, c.status) << name << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << name;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        sim_stop(&sim);
    }
}

TEST_F(CliTest, PortsThatCannotBeOpenedExitThree) {
    start();
    const std::string fifo = g_home + "/fifo", file = g_home + "/file";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(file) << "x";
    const struct {
        std::string port, says;
    } cases[] = {
        {g_home + "/no-such-tty", "no such device (" + g_home + "/no-such-tty)"},
        {"/dev/null", "not a serial port (/dev/null)"},
        {fifo, "not a serial port (" + fifo + ")"},
        {file, "not a serial port (" + file + ")"},
    };
    for (const auto& c : cases) {
        CliResult r = run_cli({"--port", c.port, "--baud", "9600", "-c", "ok"});
        EXPECT_EQ(r.status, 3) << c.port;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }

    int fd = open(sim.link_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    CliResult busy = run_cli(with_port({"-c", "ok"}));
    close(fd);
    EXPECT_EQ(busy.status, 3);
    EXPECT_NE(busy.err.find("used by another program (process " + std::to_string(getpid()) + ")"), std::string::npos)
        << busy.err;
}

// With a standard descriptor closed the port would take its number, and the
// runner's own output would go to the controller.
TEST_F(CliTest, ClosedStandardDescriptorsNeverReachTheController) {
    start();
    const Args args = with_port({"--echo", "--timeout", "0.3", "-c", "echo hello", "-c", "run 60000"});
    // 0: standard output on /dev/full. An output that cannot be written (full, or
    // closed) ends the run before the next command.
    int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    for (int closed : {1 << 0, 1 << 1, 1 << 2, 7, 0}) {
        size_t from = sim_log(&sim).size();
        CliResult r = run_cli(args, "", nullptr, ZORV_CLI_PATH, -1, closed, closed ? -1 : full);
        const bool unwritable = (closed & 2) || !closed;
        EXPECT_EQ(r.status, 1) << closed << ": " << r.err;
        EXPECT_EQ(r.out, unwritable ? "" : "> echo hello\n< hello\n> run 60000\n") << closed;
        ASSERT_TRUE(sim_saw(sim, "peer closed", from)) << closed;
        std::string log = sim_log(&sim).substr(from);
        for (const char* leaked : {"> echo", "< hello", "no reply"})
            EXPECT_EQ(log.find(leaked), std::string::npos) << closed << " leaked " << leaked << ":\n" << log;
        EXPECT_EQ(log.find("run 60000") == std::string::npos, unwritable) << closed;
        const std::string says = closed ? "Bad file descriptor\n" : "No space left on device\n";
        if (unwritable && !(closed & 4)) {
            EXPECT_EQ(r.err, "zorvtalk-cli: cannot write to standard output: " + says);
        }
    }
    close(full);
}

// The simulator started with nothing open keeps its pty off 0-2 as well.
TEST_F(CliTest, SimulatorWithClosedDescriptorsKeepsThemOnDevNull) {
    const std::string link = g_home + "/closed-sim";
    pid_t pid = fork();
    if (pid == 0) {
        for (int fd = 0; fd <= 2; ++fd) close(fd);
        execl(ZORV_SIM_PATH, ZORV_SIM_PATH, "--link", link.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 500 && access(link.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (int fd = 0; fd <= 2; ++fd) {
        char target[64] = "";
        std::string proc = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
        EXPECT_GT(readlink(proc.c_str(), target, sizeof target - 1), 0) << fd;
        EXPECT_STREQ(target, "/dev/null") << fd;
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

TEST_F(CliTest, InterruptStopsTheRunningCommandOnce) {
    start();
    // Signal 0: none is sent and standard output's reader is gone from the start: the
    // run ends before its first command. Signal -1: the reader leaves while the command
    // runs and nothing more is written (| head -1).
    const struct {
        int signal;
        int status;
        const char* says;
    } cases[] = {{SIGINT, 130, "interrupted"}, {SIGTERM, 143, "terminated"}, {SIGHUP, 129, "hung up"},
                 {SIGPIPE, 141, "standard output closed"}, {0, 141, "standard output closed"},
                 {-1, 141, "standard output closed"}};
    for (const auto& c : cases) {
        std::string before = sim_log(&sim);
        int gone[2];
        ASSERT_EQ(pipe2(gone, O_CLOEXEC), 0);  // the runner must not hold the reader open
        if (c.signal >= 0) close(gone[0]);
        CliResult r = run_cli(with_port({"-c", "echo a", "-c", "run 60000", "-c", "echo never"}), "", [&](pid_t pid) {
            if (c.signal == 0) return;
            EXPECT_TRUE(sim_saw(sim, "|run 60000|", before.size()));
            if (c.signal > 0) kill(pid, c.signal);
            if (c.signal < 0) close(gone[0]);
        }, ZORV_CLI_PATH, -1, 0, c.signal > 0 ? -1 : gone[1]);
        close(gone[1]);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out, c.signal > 0 ? "a\nstopped\n" : "");
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        std::string log = sim_log(&sim).substr(before.size());
        EXPECT_EQ(log.find("never"), std::string::npos);
        if (c.signal == 0) {
            EXPECT_EQ(log.find("echo a"), std::string::npos) << log;
            continue;
        }
        EXPECT_EQ(log.find("ctrl 01"), log.rfind("ctrl 01")) << log;  // one stop byte
        EXPECT_NE(log.find("ctrl 01"), std::string::npos) << log;
    }
}

TEST_F(CliTest, StoredPortAndBaudAndThePortsSection) {
    start();
    // The window's settings file lies beside the window; a copy of the runner there
    // finds it as an installed one would.
    std::string exe = g_home + "/zorvtalk-cli";
    std::string copy = "cp '" + std::string(ZORV_CLI_PATH) + "' '" + exe + "'";
    ASSERT_EQ(system(copy.c_str()), 0);
    CliResult none = run_cli({"-c", "ok"}, "", nullptr, exe);
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("no port"), std::string::npos) << none.err;

    std::ofstream(g_home + "/zorvtalk.ini")
        << "[Connection]\nPort=200\nBaud=115200\n[Ports]\nCOM200=" << sim.link_path << "\n";
    CliResult stored = run_cli({"-c", "echo stored"}, "", nullptr, exe);
    EXPECT_EQ(stored.status, 0) << stored.err;
    EXPECT_EQ(stored.out, "stored\n");
    CliResult by_number = run_cli({"--port", "COM200", "-c", "echo mapped"}, "", nullptr, exe);
    EXPECT_EQ(by_number.out, "mapped\n") << by_number.err;
}

}  // namespace

namespace {

TEST_F(CliTest, ProgressLineOnlyOnATerminal) {
    start();
    std::string path = g_home + "/three-lines", large = g_home + "/large", screen;
    std::ofstream(path) << "run 150\nrun 150\nrun 150";
    CliResult r = run_on_pty({"--file", path}, &screen);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "done\ndone\ndone\n");
    EXPECT_NE(screen.find("\rline 1 of 3"), std::string::npos) << screen;
    EXPECT_NE(screen.find("\rline 3 of 3"), std::string::npos) << screen;
    // Erased at the end: the terminal is left on a blank line.
    EXPECT_EQ(screen.substr(screen.size() - 1), "\r");

    // Too large to count first (sparse: NULs, which run no line): the line alone.
    std::ofstream(large) << "echo a\n";
    ASSERT_EQ(truncate(large.c_str(), 17 << 20), 0);
    screen.clear();
    EXPECT_EQ(run_on_pty({"--file", large}, &screen).out, "a\n");
    EXPECT_NE(screen.find("\rline 1"), std::string::npos) << screen;
    EXPECT_EQ(screen.find(" of "), std::string::npos) << screen;
}

}  // namespace

namespace {

TEST_F(CliTest, RepliesAreJudgedByFailOnAndExpect) {
    start();
    const struct {
        Args judge;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {{"--fail-on", "^ERR [0-9]"}, 1, "ok\nERR 3\n",
         "(failed: reply \"ERR 3\" matches --fail-on)\nzorvtalk-cli: ended at -c 2: echo ERR 3\n"},
        {{"--expect", "^(ok|done)$", "--keep-going"}, 1, "ok\nERR 3\ndone\n",
         "(failed: reply \"ERR 3\" does not match --expect)\nzorvtalk-cli: 1 of 3 lines failed\n"},
        {{"--expect", "^ok$", "--expect", "^done$", "--expect", "ERR"}, 0, "ok\nERR 3\ndone\n", ""},
    };
    for (const auto& c : cases) {
        Args args = {"-c", "echo ok", "-c", "echo ERR 3", "-c", "run 0"};
        args.insert(args.end(), c.judge.begin(), c.judge.end());
        CliResult r = run_cli(with_port(args));
        EXPECT_EQ(r.status, c.status) << c.judge[1] << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.judge[1];
        EXPECT_EQ(r.err, c.err);
    }
}

// A FIFO's open waits for a writer, and /dev/zero never ends a line: neither may
// outlast an interrupt.
TEST_F(CliTest, InterruptEndsAFileThatWaitsOrNeverEnds) {
    start();
    std::string fifo = g_home + "/commands.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string file, waits_in;  // the wait has begun when /proc/PID/wchan says so
        int signal, status;
    } cases[] = {{fifo, "wait_for_partner", SIGINT, 130}, {"/dev/zero", "", SIGINT, 130}, {"/dev/zero", "", SIGTERM, 143}};
    for (const auto& c : cases) {
        std::string before = sim_log(&sim);
        CliResult r = run_cli(with_port({"--file", c.file}), "", [&](pid_t pid) {
            std::string wchan;
            for (int i = 0; i < 1000 && wchan != c.waits_in && !c.waits_in.empty(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                std::ifstream("/proc/" + std::to_string(pid) + "/wchan") >> wchan;
            }
            EXPECT_TRUE(c.waits_in.empty() ? sim_saw(sim, "greet", before.size()) : wchan == c.waits_in);
            kill(pid, c.signal);
        });
        EXPECT_EQ(r.status, c.status) << c.file;
        EXPECT_NE(r.err.find(c.signal == SIGINT ? "interrupted" : "terminated"), std::string::npos) << r.err;
    }
}

// Control bytes from the controller never reach a terminal as such; a pipe and
// --raw get them byte for byte.
TEST_F(CliTest, ControlBytesAreEscapedOnlyOnATerminal) {
    start();
    // ESC ] 0 ; t BEL (a title change), NUL, TAB, DEL, and UTF-8 "é".
    const std::string raw = ">\x1b]0;t\x07" "A\0\tB\x7f\xc3\xa9"s, escaped = ">\\x1B]0;t\\x07A\\x00\tB\\x7F\xc3\xa9";
    const struct {
        bool tty;
        Args more;
        std::string shows;  // what the terminal or the pipe shows first
    } cases[] = {
        {true, {}, escaped + "\r\n"},
        {true, {"--raw"}, raw + "\r\n"},
        {false, {}, raw + "\n"},
        {true, {"--quiet", "--fail-on", "t"}, "(failed: reply \"" + escaped + "\" matches --fail-on)\r\n"},
    };
    for (const auto& c : cases) {
        Args args = {"-c", "bytes 3e 1b 5d 30 3b 74 07 41 00 09 42 7f c3 a9"};
        args.insert(args.end(), c.more.begin(), c.more.end());
        std::string screen;
        CliResult r = run_on_pty(args, &screen, c.tty);
        std::string shown = c.tty ? screen : r.out;
        EXPECT_EQ(shown.substr(0, c.shows.size()), c.shows) << shown;
    }
}

TEST_F(CliTest, WatchPrintsCleanCsvAndRepliesOnStderr) {
    start();
    const std::regex csv(R"(time,q,x,y,z,w\n(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z(,-?\d+){5}\n)*)");
    // The readings (header first, every line whole) and their count.
    auto readings = [&](const std::string& out) {
        EXPECT_TRUE(std::regex_match(out, csv)) << out;
        return std::count(out.begin(), out.end(), '\n') - 1;
    };

    CliResult alone = run_cli(with_port({"--watch", "20", "--count", "3"}));
    EXPECT_EQ(alone.status, 0) << alone.err;
    EXPECT_EQ(readings(alone.out), 3);
    EXPECT_EQ(alone.err, "");

    // While the move runs the readings show the way, and the last one where it ended.
    CliResult moving = run_cli(with_port({"--watch", "50", "-c", "move x 1000 y 500 600", "-c", "echo hi",
                                          "--report"}));
    EXPECT_EQ(moving.status, 0) << moving.err;
    EXPECT_GE(readings(moving.out), 4);
    EXPECT_EQ(moving.out.substr(moving.out.size() - 17), "Z,0,1000,500,0,0\n");
    // A reading on the way: neither where the move began nor where it ended.
    EXPECT_TRUE(std::regex_search(moving.out, std::regex(R"(Z,0,[1-9]\d{0,2},[1-9]\d{0,2},0,0\n)"))) << moving.out;
    EXPECT_EQ(moving.err, "done\nhi\nQ=0, X=1000, Y=500, Z=0, W=0\n");

    // Ctrl+C ends watching alone; what was printed stays whole.
    size_t before = sim_log(&sim).size();
    CliResult stopped = run_cli(with_port({"--watch", "30"}), "", [&](pid_t pid) {
        ASSERT_TRUE(sim_saw(sim, "ctrl 12", before));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kill(pid, SIGINT);
    });
    EXPECT_EQ(stopped.status, 130);
    readings(stopped.out);
}

}  // namespace

namespace {

// Signals ignored when the runner started (nohup, a background job) stay ignored;
// one that comes during the reset ends the run before the greeting.
TEST_F(CliTest, IgnoredSignalsStayIgnoredAndTheResetGivesWay) {
    start();
    const struct {
        int ignored;  // bit mask of signals
        int signal;
        bool in_reset;
        int status;
        const char* out;
    } cases[] = {
        {1 << SIGHUP, SIGHUP, false, 0, "done\n"},
        {1 << SIGINT, SIGINT, false, 0, "done\n"},
        {1 << SIGINT | 1 << SIGHUP, SIGTERM, false, 143, "stopped\n"},
        {0, SIGINT, true, 130, ""},
        {0, SIGTERM, true, 143, ""},
        {1 << SIGINT, SIGINT, true, 0, "done\n"},
    };
    for (const auto& c : cases) {
        size_t from = sim_log(&sim).size();
        CliResult r = run_cli(with_port({"-c", "run 1000"}), "", [&](pid_t pid) {
            EXPECT_TRUE(sim_saw(sim, c.in_reset ? "peer up" : "|run 1000|", from));
            kill(pid, c.signal);
        }, ZORV_CLI_PATH, -1, 0, -1, c.ignored);
        EXPECT_EQ(r.status, c.status) << c.signal << " " << r.err;
        EXPECT_EQ(r.out, c.out) << c.signal;
        std::string log = sim_log(&sim).substr(from);
        EXPECT_EQ(log.find("ctrl 01") != std::string::npos, c.status == 143 && !c.in_reset) << log;
        if (c.in_reset && c.status) {
            EXPECT_EQ(log.find("greet"), std::string::npos) << log;
        }
    }
}

// Drivers that read each reply as it comes: a shell's coproc, which writes the next
// command only after it has the reply (2>&1: a failure stands beside its reply), and
// | head -1, which leaves after the first of 100 commands and so ends the run there.
TEST_F(CliTest, ShellDriversGetEachReplyAtOnce) {
    start();
    const std::string cli = std::string(ZORV_CLI_PATH) + " --port " + sim.link_path + " --baud 115200 --file -";
    CliResult coproc = run_cli({"-c", "coproc Z { " + cli + " --keep-going --fail-on ERR 2>&1; }\n"
                                "for c in 'echo one' 'echo ERR 2' 'echo three'; do\n"
                                "  echo \"$c\" >&${Z[1]}; read -t 5 -r r <&${Z[0]} && echo \"$r\" || echo LATE\n"
                                "done; read -t 5 -r r <&${Z[0]}; echo \"$r\""}, "", nullptr, "/bin/bash");
    EXPECT_EQ(coproc.out, "one\nERR 2\n(failed: reply \"ERR 2\" matches --fail-on)\nthree\n") << coproc.err;
    size_t from = sim_log(&sim).size();
    CliResult head = run_cli({"-c", "yes 'run 20' | head -100 | " + cli + " | head -1; echo ${PIPESTATUS[2]}"}, "",
                             nullptr, "/bin/bash");
    EXPECT_EQ(head.out, "done\n141\n") << head.err;
    std::string log = sim_log(&sim).substr(from);
    size_t sent = 0;
    for (size_t at = 0; (at = log.find("|run 20|", at)) != std::string::npos; ++at) ++sent;
    EXPECT_LT(sent, 50u) << log;
}

// Readings go on after one is lost, and a watch that never got one fails.
TEST_F(CliTest, WatchAsksAgainAfterALostReading) {
    const struct {
        const char* drop;
        Args args;
        int status;
        long readings;
        const char* says;  // a regular expression
    } cases[] = {
        {"1", {"--watch", "50", "--count", "3"}, 0, 3, "\\(no report: 1 reading did not come within 1 s\\)\n"},
        {"1000000", {"--watch", "50", "-c", "run 1500"}, 1, 0,
         "done\n\\(no report: \\d readings in a row did not come within 1 s\\)\n"},
    };
    for (const auto& c : cases) {
        start({"--drop-reports", c.drop});
        CliResult r = run_cli(with_port(c.args));
        EXPECT_EQ(r.status, c.status) << c.drop << ": " << r.err;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n') - 1, c.readings) << r.out;
        EXPECT_TRUE(std::regex_match(r.err, std::regex(c.says))) << r.err;
        sim_stop(&sim);
    }
}

}  // namespace

namespace {

// A controller that puts a few random bytes before some replies (seeds 1-50, a
// 300-line file each): the runner never hangs, and a broken reply costs only itself:
// every reply printed stands with its own command, and every line is either answered
// or failed on standard error.
TEST_F(CliTest, GarbageCostsOnlyItsOwnReply) {
    const std::string file = test_temp_dir() + "/echoes.cmd";
    {
        std::ofstream f(file, std::ios::binary);
        for (int i = 1; i <= 300; ++i) f << "echo " << i << "\r";
    }
    constexpr int SEEDS = 50, AT_ONCE = 10;
    for (int first = 1; first <= SEEDS; first += AT_ONCE) {
        SimProcess sims[AT_ONCE];
        CliResult results[AT_ONCE];
        std::vector<std::thread> runs;
        for (int i = 0; i < AT_ONCE; ++i) {
            ASSERT_TRUE(sim_start(&sims[i], 100 + i, {"--garbage", "--seed", std::to_string(first + i)}));
            runs.emplace_back([&, i] {
                results[i] = run_cli({"--port", sims[i].link_path, "--baud", "115200", "--keep-going", "--echo",
                                      "--timeout", "3", "--file", file});
            });
        }
        for (auto& t : runs) t.join();
        for (int i = 0; i < AT_ONCE; ++i) {
            sim_stop(&sims[i]);
            const CliResult& r = results[i];
            const std::string seed = "seed " + std::to_string(first + i);
            EXPECT_TRUE(r.status == 0 || r.status == 1) << seed << ": " << r.status << r.err;
            // "> echo K\n< REPLY\n" for each answered line; garbage may put an LF inside
            // a reply, so the pieces are cut at the echoes.
            long answered = 0, failed = 0;
            for (size_t at = r.out.find("> echo "); at != std::string::npos;) {
                size_t end = r.out.find("\n> echo ", at + 1);
                std::string piece = r.out.substr(at, end == std::string::npos ? std::string::npos : end + 1 - at);
                size_t nl = piece.find('\n');
                std::string k = piece.substr(7, nl - 7);
                std::string reply = piece.substr(nl + 1);
                if (reply.empty()) {
                    ++failed;  // its failure is on standard error
                } else {
                    ++answered;
                    ASSERT_EQ(reply.compare(0, 2, "< "), 0) << seed << ": " << piece;
                    reply = reply.substr(2, reply.size() - 3);
                    // Up to four garbage bytes, then this command's own reply.
                    EXPECT_TRUE(reply.size() >= k.size() && reply.size() <= k.size() + 4 &&
                                reply.compare(reply.size() - k.size(), k.size(), k) == 0)
                        << seed << ": \"echo " << k << "\" answered \"" << reply << "\"";
                }
                at = end == std::string::npos ? end : end + 1;
            }
            EXPECT_EQ(answered + failed, 300) << seed;
            size_t failures = 0;
            for (size_t at = 0; (at = r.err.find("(no reply: ", at)) != std::string::npos; ++at) ++failures;
            EXPECT_EQ(failures, size_t(failed)) << seed << ": " << r.err;
        }
    }
}

}  // namespace
