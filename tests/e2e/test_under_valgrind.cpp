// hc11prog under valgrind against the real hc11sim. Valgrind slows the host alone; the
// talker answers every byte before the host sends the next, so the run still goes through.
// Any memory error or leak makes valgrind end the run with status 99.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "fake_target.h"
#include "sim_process.h"
#include "srecord.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kExample = std::string(EXAMPLES_DIR) + "/hello.s19";

std::string ReadText(const std::string &path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class UnderValgrind : public testing::Test {
  protected:
    ~UnderValgrind() override { system(("rm -rf " + dir).c_str()); }

    // hc11prog with args, under valgrind; its report goes to a file of its own.
    ProgramResult RunChecked(const std::string &args) {
        ProgramResult result =
            RunProgram(std::string(VALGRIND_PATH) + " -q --error-exitcode=99 --leak-check=full" +
                       " --log-file=" + log + " " + HC11PROG_PATH + " " + args);
        // The log also holds valgrind's notes on the terminal ioctls it does not model.
        EXPECT_NE(result.status, 99) << ReadText(log);
        return result;
    }
    std::string dir = MakeTempDir();
    std::string log = dir + "/valgrind.log";
};

TEST_F(UnderValgrind, WholeRunProgramsTheExample) {
    SimProcess sim({"--xram", "2000-7FFF"});
    ProgramResult result = RunChecked("-d " + sim.path() + " -E -B -i " + kExample);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(sim.dumped(0xF800, 0xFFFF), ReadS19Range(kExample, 0xF800, 0xFFFF));
    EXPECT_EQ(sim.dumped(0x2000, 0x201F), ReadS19Range(kExample, 0x2000, 0x201F, 0x00));
}

// The other ways out: the file refused before the port, and a target that does not hold
// what was sent (RAM stores on the expanded bus with no external RAM behind them).
TEST_F(UnderValgrind, FailedRunsLeaveNothingBehind) {
    std::string refused = dir + "/refused.s19";
    WriteTextFile(refused, "S1130000\n");
    EXPECT_EQ(RunChecked("-d /dev/null -i " + refused).status, 2);

    SimProcess sim;
    ProgramResult result = RunChecked("-d " + sim.path() + " -E -i " + kExample);
    sim.stop();
    EXPECT_EQ(result.status, 3) << result.err;
    const std::string notHeld = "did not verify: the target does not hold the file\n";
    EXPECT_EQ(result.err.substr(result.err.size() - std::min(result.err.size(), notHeld.size())),
              notHeld);
}

}  // namespace
