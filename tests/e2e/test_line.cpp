// Several boards in one command against real simulators: boards served by hc11sim --listen,
// by its pty, and by ser2net (with the README's configuration) in front of its pty, one of
// them unplugged mid-run; serial numbers from one counter file shared by two processes; the
// station over resets; Ctrl-C in the middle. What the boards hold is read from their dumps,
// the JSON events and the log with Python's own parser.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "child_process.h"
#include "missing_tool.h"
#include "run_fixtures.h"
#include "ser2net_process.h"
#include "sim_process.h"

namespace {

const std::string kProgram = HC11PROG_PATH;
const std::string kLineJson = std::string(LINE_JSON_PY);
const int kPatienceMs = 60000;  // a bound for a hung tool, never a measure of speed

const Bytes kCode = Pattern(0x200, 0x3A);
const std::vector<Block> kImage = {{0xF800, kCode}};
const uint16_t kSerialAt = 0xFE00;  // where the README's command puts the serial number

std::string ReadText(const std::string &path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// line_json.py's summary of a file of JSON lines ("events" or "log"); a file out of shape
// fails the test with Python's traceback.
std::string JsonSummary(const std::string &kind, const std::string &path) {
    ProgramResult result = RunProgram("/usr/bin/python3 " + kLineJson + " " + kind + " " + path);
    EXPECT_EQ(result.status, 0) << result.err << ReadText(path);
    return result.out;
}

// line_json.py's line for one board's result.
std::string Row(const std::string &port, int nExit, const std::string &serial, unsigned bytes) {
    return port + " result=" + (nExit == 0 ? "success" : "failure") +
           " exit=" + std::to_string(nExit) + " serial=" + serial +
           " bytes=" + std::to_string(bytes) + " message=" + (nExit == 0 ? "no" : "yes");
}

// The lines, each ended, in order.
std::string Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string &line : lines) text += line + "\n";
    return text;
}

// One board: a simulator, and the name hc11prog is given for it.
struct Board {
    std::unique_ptr<SimProcess> sim;
    std::string port;

    // The serial number the chip holds in bytes bytes at kSerialAt.
    uint64_t serial(uint32_t bytes) const {
        uint64_t qw = 0;
        for (uint8_t b : sim->dumped(kSerialAt, uint16_t(kSerialAt + bytes - 1))) qw = qw << 8 | b;
        return qw;
    }
};

class Line : public testing::Test {
  protected:
    void TearDown() override { clear(); }
    // Stops every ser2net and forgets every board, for a fresh line in a fresh folder.
    void clear() {
        for (size_t i = 0; i < ser2nets.size(); i++) StopSer2net(&ser2nets[i], ser2netDirs[i]);
        ser2nets.clear(), ser2netDirs.clear(), boards.clear(), dir = MakeTempDir();
    }

    // A simulator and its port: its pty, or with --listen its URL.
    Board &add(const std::vector<std::string> &args = {}) {
        boards.push_back({std::make_unique<SimProcess>(args), ""});
        boards.back().port = boards.back().sim->path();
        return boards.back();
    }
    // Simulators behind one ser2net serving yaml, in which each pair's first text is replaced
    // by the free loopback port it gets, its second by the new simulator's pty.
    void addSer2net(std::string yaml, const std::vector<std::pair<std::string, std::string>> &subs,
                    const std::vector<std::string> &args = {}) {
        std::vector<uint16_t> ports;
        for (const auto &sub : subs) {
            Board &board = add(args);
            ports.push_back(FreeLoopbackPort());
            yaml = std::regex_replace(yaml, std::regex(sub.first),
                                      "tcp,127.0.0.1," + std::to_string(ports.back()));
            yaml = std::regex_replace(yaml, std::regex(sub.second), board.sim->path());
            board.port = "rfc2217://127.0.0.1:" + std::to_string(ports.back());
        }
        ser2netDirs.push_back(MakeTempDir());
        ser2nets.push_back(StartSer2net(SER2NET_PATH, ser2netDirs.back(), yaml));
        ASSERT_GT(ser2nets.back().pid, 0);
        for (uint16_t wPort : ports) ASSERT_TRUE(AwaitListener(wPort)) << yaml;
    }
    void stopSims() {
        for (Board &board : boards) board.sim->stop();
    }
    std::string boardsFile(size_t first, size_t count, const std::string &name) {
        std::string path = dir + "/" + name, text = "# the boards\n";
        for (size_t i = first; i < first + count; i++) text += boards[i].port + "\n";
        WriteTextFile(path, text);
        return path;
    }

    std::string dir = MakeTempDir();
    std::vector<Board> boards;
    std::vector<ChildProcess> ser2nets;
    std::vector<std::string> ser2netDirs;
};

// Reads a child's standard output to its end, handing each line to onLine as it comes, and
// returns its exit status with everything it printed. A child silent past the patience is
// killed, so that a hung tool fails the test instead of holding it.
int FollowChild(ChildProcess child, std::string *pOut,
                const std::function<void(const std::string &)> &onLine) {
    std::string pending;
    char rgch[4096];
    pollfd entry = {child.stdoutFd, POLLIN, 0};
    for (;;) {
        ssize_t cb =
            poll(&entry, 1, kPatienceMs) == 1 ? read(child.stdoutFd, rgch, sizeof rgch) : -1;
        if (cb < 0) kill(child.pid, SIGKILL);
        if (cb <= 0) break;
        pending.append(rgch, size_t(cb));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;
             pending.erase(0, end + 1)) {
            *pOut += pending.substr(0, end + 1);
            onLine(pending.substr(0, end));
        }
    }
    close(child.stdoutFd);
    int status = -1;
    waitpid(child.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveSer2net() {
    return !std::string(SER2NET_PATH).empty();
}

// The README's production setup, as text and as JSON: one host's four ser2net ports (its
// configuration) beside two listening simulators and two local ptys, programmed by its
// command. One listening board's line dies after its talker is loaded: that board alone fails
// and spends its number; the seven others hold the image and their own numbers, and the
// counter, the log and the output say exactly that.
TEST_F(Line, TheReadmeLineProgramsEightBoardsAndOneUnpluggedFailsAlone) {
    if (!HaveSer2net()) SKIP_FOR_MISSING_TOOL("ser2net is not installed");
    std::vector<std::string> blocks = FencedBlocks(README_PATH, "## Production line");
    ASSERT_GE(blocks.size(), 3u) << "the README's section lost its configuration or command";
    const std::string yaml = blocks[0], command = blocks[2];
    ASSERT_NE(command.find("echo 1000 > serial.txt\nhc11prog --boards boards.txt "),
              std::string::npos)
        << command;
    for (const char *pszMode : {"", " --json"}) {
        SCOPED_TRACE(*pszMode ? "--json" : "text");
        clear();
        addSer2net(yaml, {{"tcp,2001", "/dev/ttyUSB0"},
                          {"tcp,2002", "/dev/ttyUSB1"},
                          {"tcp,2003", "/dev/ttyUSB2"},
                          {"tcp,2004", "/dev/ttyUSB3"}});
        const std::string unplugged =
            add({"--listen", "0", "--fault", "unplug:300"}).port;  // past the talker load's echoes
        add({"--listen", "0"}), add(), add();
        WriteS19(dir, "product.s19", kImage);
        boardsFile(0, boards.size(), "boards.txt");
        std::string script =
            std::regex_replace(command, std::regex("\nhc11prog "), "\n" + kProgram + " ");
        WriteTextFile(dir + "/run.sh", std::regex_replace(script, std::regex("line\\.log\n"),
                                                          "line.log" + std::string(pszMode)));
        ProgramResult result = RunProgram("cd " + dir + " && sh run.sh");
        stopSims();
        ASSERT_EQ(result.status, 3) << result.out << result.err;

        // The numbers 1000 to 1007 are spent, one a board; the chips that succeeded hold theirs.
        EXPECT_EQ(ReadText(dir + "/serial.txt"), "1008\n");
        std::set<uint64_t> unspent = {1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007};
        std::map<std::string, uint64_t> serials;
        for (Board &board : boards) {
            if (board.port == unplugged) continue;
            SCOPED_TRACE(board.port);
            EXPECT_TRUE(board.sim->dumped(0xF800, 0xF9FF) == kCode) << "the chip lacks the image";
            serials[board.port] = board.serial(4);
            EXPECT_EQ(unspent.erase(serials[board.port]), 1u) << serials[board.port];
        }
        ASSERT_EQ(unspent.size(), 1u);
        serials[unplugged] = *unspent.begin();
        std::vector<std::string> rows, logRows;
        for (const auto &entry : serials) {
            int nExit = entry.first == unplugged ? 3 : 0;
            rows.push_back(Row(entry.first, nExit, std::to_string(entry.second), nExit ? 0 : 516));
            logRows.push_back(rows.back() + " operation=program");
        }
        EXPECT_EQ(JsonSummary("log", dir + "/line.log"), Sorted(logRows));
        if (*pszMode) {
            WriteTextFile(dir + "/out.json", result.out);
            EXPECT_EQ(JsonSummary("events", dir + "/out.json"),
                      "start boards=8\n" + Sorted(rows) + "end exit=3 succeeded=7 boards=8\n");
            continue;
        }
        // Every line a board printed starts with its port; the table ends the output.
        std::istringstream lines(WithoutBanner(result.out));
        std::string line;
        while (std::getline(lines, line) && line.rfind("Port ", 0) != 0)
            EXPECT_TRUE(std::regex_search(line, std::regex("^\\[[^\\]]+\\] "))) << line;
        EXPECT_TRUE(std::regex_match(line, std::regex("Port +Result +Seconds +Serial"))) << line;
        for (const auto &entry : serials) {
            std::string row = "\n" + entry.first + " +" +
                              (entry.first == unplugged ? "Failure: .+" : "Success") +
                              " +[0-9]+\\.[0-9]  " + std::to_string(entry.second) + "\n";
            EXPECT_TRUE(std::regex_search(result.out, std::regex(row))) << row << result.out;
        }
        EXPECT_NE(result.out.find("\n7 of 8 boards programmed\n"), std::string::npos) << result.out;
    }
}

// Two processes take numbers from one counter at once, seven boards between them and room
// for six (250 to 255 in one byte): no number goes to two boards, each chip holds its own,
// and the board left without a number fails untouched, saying why.
TEST_F(Line, TwoProcessesSharingOneCounterNeverGiveOneNumberTwice) {
    for (int i = 0; i < 7; i++) add({"--listen", "0"});
    std::string image = WriteS19(dir, "product.s19", kImage), counter = dir + "/serial.txt";
    WriteTextFile(counter, "250\n");
    std::string common = kProgram + " -B -i " + image + " --serial fe00:1 --serial-file " +
                         counter + " --log " + dir + "/line.log";
    std::string first = common, second = common + " --boards " + boardsFile(4, 3, "b.txt");
    for (int i = 0; i < 4; i++) first += " -d " + boards[i].port;
    ProgramResult result = RunProgram("( { " + first + "; echo status $?; } & { " + second +
                                      "; echo status $?; } & wait )");
    stopSims();
    std::vector<std::string> statuses;
    std::regex status("status ([0-9]+)\n");
    for (std::sregex_iterator it(result.out.begin(), result.out.end(), status), end; it != end;
         ++it)
        statuses.push_back((*it)[1]);
    EXPECT_EQ(Sorted(statuses), "0\n3\n") << result.out;
    EXPECT_NE(result.err.find("serial number 256 does not fit in 1 byte"), std::string::npos)
        << result.err;
    EXPECT_EQ(ReadText(counter), "256\n");

    std::set<uint64_t> unspent = {250, 251, 252, 253, 254, 255};
    std::vector<std::string> logRows;
    for (Board &board : boards) {
        SCOPED_TRACE(board.port);
        if (board.sim->stat("rx_bytes") == 0) {  // never touched: its memory was not dumped
            logRows.push_back(Row(board.port, 3, "None", 0) + " operation=program");
            continue;
        }
        EXPECT_TRUE(board.sim->dumped(0xF800, 0xF9FF) == kCode) << "the chip lacks the image";
        uint64_t qwSerial = board.serial(1);
        EXPECT_EQ(unspent.erase(qwSerial), 1u) << qwSerial;
        logRows.push_back(Row(board.port, 0, std::to_string(qwSerial), 513) + " operation=program");
    }
    EXPECT_TRUE(unspent.empty());
    EXPECT_EQ(JsonSummary("log", dir + "/line.log"), Sorted(logRows));
}

// The station on one port: the operator resets the board each time the tool waits for the
// next, as soon as it says so; --count 3 ends it with three boards programmed, each with its
// own number, in turn.
TEST_F(Line, TheStationProgramsABoardAfterEachResetUpToItsCount) {
    Board &board = add();
    std::string image = WriteS19(dir, "product.s19", kImage), counter = dir + "/serial.txt";
    WriteTextFile(counter, "41\n");
    ChildProcess tool = StartChild(
        {kProgram, "-d", board.port, "--station", "--count", "3", "--json", "-B", "-i", image,
         "--serial", "fe00:2", "--serial-file", counter, "--log", dir + "/line.log"},
        dir + "/err");
    ASSERT_GT(tool.pid, 0);
    std::string out;
    int nWaits = 0;
    int status = FollowChild(tool, &out, [&](const std::string &line) {
        if (line.find("\"event\":\"waiting\"") == std::string::npos) return;
        nWaits++;
        board.sim->reset();  // the next board, put in place and reset by the operator
    });
    stopSims();
    EXPECT_EQ(status, 0) << out << ReadText(dir + "/err");
    EXPECT_EQ(nWaits, 2) << out;
    WriteTextFile(dir + "/out.json", out);
    std::vector<std::string> rows, logRows;
    for (const char *pszSerial : {"41", "42", "43"}) {
        rows.push_back(Row(board.port, 0, pszSerial, 514));
        logRows.push_back(rows.back() + " operation=program");
    }
    EXPECT_EQ(JsonSummary("events", dir + "/out.json"),
              "start boards=1\n" + Sorted(rows) + "end exit=0 succeeded=3 boards=3\n");
    EXPECT_EQ(JsonSummary("log", dir + "/line.log"), Sorted(logRows));
    EXPECT_EQ(ReadText(counter), "44\n");
    EXPECT_TRUE(board.sim->dumped(0xF800, 0xF9FF) == kCode) << "the chip lacks the image";
    EXPECT_EQ(board.serial(2), 43u);
}

// Ctrl-C while four boards download (two over the network, two over ptys) stops every one,
// says so in JSON, and releases every port: after a reset of each, a new run programs all
// and reads each back into a file of its own.
TEST_F(Line, CtrlCInTheMiddleReleasesEveryPortForTheNextRun) {
    for (int i = 0; i < 4; i++)
        add(i < 2 ? std::vector<std::string>{"--listen", "0", "--realtime"}
                  : std::vector<std::string>{"--realtime"});
    std::string image = WriteS19(dir, "product.s19", kImage);
    std::vector<std::string> args = {kProgram, "-B", "-i", image};
    for (const Board &board : boards) args.insert(args.end(), {"-d", board.port});
    std::vector<std::string> json = args;
    json.push_back("--json");
    ChildProcess tool = StartChild(json, dir + "/err");
    ASSERT_GT(tool.pid, 0);
    std::set<std::string> downloading;
    std::string out;
    std::regex download("\"port\":\"([^\"]+)\",\"stage\":\"download\"");
    int status = FollowChild(tool, &out, [&](const std::string &line) {
        std::smatch match;
        if (!std::regex_search(line, match, download)) return;
        downloading.insert(match[1]);
        if (downloading.size() == boards.size()) kill(tool.pid, SIGINT);
    });
    EXPECT_EQ(status, 130) << out << ReadText(dir + "/err");
    WriteTextFile(dir + "/out.json", out);
    std::vector<std::string> rows;
    for (const Board &board : boards) rows.push_back(Row(board.port, 130, "None", 0));
    EXPECT_EQ(JsonSummary("events", dir + "/out.json"),
              "start boards=4\n" + Sorted(rows) + "end exit=130 succeeded=0 boards=4\n");

    for (const Board &board : boards) board.sim->reset();
    std::string again;
    for (const std::string &arg : args) again += arg + " ";
    ProgramResult result = RunProgram(again + "-r f800-f9ff -o " + dir + "/back.s19");
    stopSims();
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("\n4 of 4 boards programmed\n"), std::string::npos) << result.out;
    for (size_t i = 0; i < boards.size(); i++) {  // each read back into a file of its own
        std::string back = dir + "/back." + std::to_string(i + 1) + ".s19";
        EXPECT_TRUE(boards[i].sim->dumped(0xF800, 0xF9FF) == kCode) << boards[i].port;
        EXPECT_TRUE(ReadS19Range(back, 0xF800, 0xF9FF) == kCode) << back;
        EXPECT_NE(result.out.find("  " + back + "\n"), std::string::npos) << result.out;
    }
}

}  // namespace
