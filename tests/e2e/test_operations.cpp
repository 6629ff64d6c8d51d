// Reading back and verifying: the real hc11prog against the real hc11sim, the files compared
// with srec_cat.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "fake_target.h"
#include "run_fixtures.h"
#include "sim_process.h"
#include "srecord.h"
#include "talker_image.h"

namespace {

const std::string kProgram = HC11PROG_PATH;

bool Exists(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string FirstLine(const std::string &path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

class Operations : public testing::Test {
  protected:
    ProgramResult Run(SimProcess &sim, const std::string &args) {
        return RunProgram(kProgram + " -d " + sim.path() + " " + args);
    }
    std::string dir = MakeTempDir();
};

// The talker's own RAM and the EEPROM, read back, hold what the simulator dumps at its end.
TEST_F(Operations, ReadBackEqualsTheSimulatorsDump) {
    std::string preload = WriteS19(dir, "preload.s19", {{0xF800, Pattern(0x800, 0x5A)}});
    std::string ram = dir + "/ram.s19", eeprom = dir + "/eeprom.s19";
    SimProcess sim({"--eeprom", preload});
    ProgramResult result = Run(sim, "-r 0000-00ff -o " + ram);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(WithoutBanner(result.out), "Downloading talker file\n" + TalkerMarks() +
                                             "Reading $0000-$00FF into " + ram + "\n" +
                                             std::string(8, '.') + "Success\n");
    sim.stop();
    // The talker's stack and variables, in its start-up code's bytes below its free RAM,
    // change while it reads them; the dump is taken with the talker idle.
    EXPECT_EQ(ReadS19Range(ram, TALKER_FREE_RAM_START, 0x00FF),
              sim.dumped(TALKER_FREE_RAM_START, 0x00FF));
    char header[SRECORD_LINE_ROOM];
    ASSERT_EQ(FormatS0Record("68HC11 811E2 $0000-$00FF, $0000-$00FF read as the talker", header,
                             sizeof header),
              1);
    EXPECT_EQ(FirstLine(ram), header);
    SimProcess fresh({"--eeprom", preload});
    EXPECT_EQ(Run(fresh, "-r f800-ffff -o " + eeprom).status, 0);
    fresh.stop();
    EXPECT_EQ(ReadS19Range(eeprom, 0xF800, 0xFFFF), fresh.dumped(0xF800, 0xFFFF));
    EXPECT_FALSE(Exists(eeprom + ".partial"));
}

// With "-i", the range is read after the download: it holds the file.
TEST_F(Operations, ReadAfterTheDownloadHoldsTheFile) {
    Bytes code = Pattern(100, 3);
    std::string file = WriteS19(dir, "app.s19", {{0xF900, code}});
    std::string out = dir + "/out.s19";
    SimProcess sim;
    ProgramResult result = Run(sim, "-i " + file + " -r f900-f963 -o " + out);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    // One word for the whole run, once the read-back is saved.
    EXPECT_NE(result.out.find(".......\nReading $F900-$F963 into " + out + "\n....Success\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find("Success"), result.out.rfind("Success")) << result.out;
    EXPECT_EQ(ReadS19Range(out, 0xF900, 0xF963), code);
}

// A download whose read-back then fails is a failed run, said once: no Success before it.
TEST_F(Operations, DownloadThenAFailedReadBackSaysFailureAlone) {
    std::string file = WriteS19(dir, "app.s19", {{0xF900, Pattern(16, 5)}});
    SimProcess sim;
    ProgramResult result = Run(sim, "-i " + file + " -r f900-f90f -o /dev/full");
    sim.stop();
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_EQ(result.out.find("Success"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.substr(result.out.size() - 8), "Failure\n") << result.out;
    EXPECT_NE(result.err.find("Could not write /dev/full"), std::string::npos) << result.err;
}

// A line that dies during the read leaves neither the file nor its temporary behind, and an
// earlier file of that name as it was.
TEST_F(Operations, FailedReadLeavesNoHalfFile) {
    std::string out = dir + "/out.s19";
    WriteTextFile(out, "S9030000FC\n");
    SimProcess sim({"--fault", "unplug:400"});
    ProgramResult result = Run(sim, "-r f800-ffff -o " + out);
    sim.stop();
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.out.find("Reading $F800-$FFFF into " + out + "\n"), std::string::npos);
    EXPECT_EQ(result.out.substr(result.out.size() - 8), "Failure\n");
    EXPECT_EQ(FirstLine(out), "S9030000FC");
    EXPECT_FALSE(Exists(out + ".partial"));
}

// An -o that names a directory is refused once the range is read; the directory stays.
TEST_F(Operations, ReadBackIntoADirectoryNameLeavesTheDirectory) {
    std::string out = dir + "/folder";
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    SimProcess sim;
    ProgramResult result = Run(sim, "-r f800-f80f -o " + out);
    sim.stop();
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "File Error: Could not write " + out + ": Is a directory\n");
    struct stat info;
    EXPECT_TRUE(stat(out.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
    EXPECT_FALSE(Exists(out + ".partial"));
}

// A pipe or a device (/dev/null, /dev/stdout) is written through, never renamed over.
TEST_F(Operations, ReadBackIntoAPipeWritesThroughIt) {
    std::string out = dir + "/pipe";
    ASSERT_EQ(mkfifo(out.c_str(), 0600), 0);
    int fd = open(out.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    SimProcess sim;
    ProgramResult result = Run(sim, "-r f800-f80f -o " + out);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    char text[512];
    ssize_t cch = read(fd, text, sizeof text);
    close(fd);
    EXPECT_NE(std::string(text, cch > 0 ? size_t(cch) : 0).find("\nS113F800FFFF"),
              std::string::npos);
    struct stat info;
    EXPECT_TRUE(stat(out.c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
}

// SIGTERM during the read: the tool says how far it got, removes its temporary file, and
// ends with "Failure" and 128 + SIGTERM. The chip keeps to the wall clock, so that the read
// (2 s at 9600 baud) is still going when the signal comes after its first bytes, however busy
// the machine.
TEST_F(Operations, InterruptedReadLeavesNoFile) {
    std::string out = dir + "/out.s19";
    SimProcess sim({"--realtime"});
    ChildProcess run =
        StartChild({kProgram, "-d", sim.path(), "-r", "f800-ffff", "-o", out}, dir + "/err");
    ASSERT_GT(run.pid, 0);
    std::string printed;
    char ch;
    while (printed.find("Reading $F800-$FFFF into " + out + "\n...") == std::string::npos &&
           read(run.stdoutFd, &ch, 1) == 1) {
        printed += ch;
    }
    ASSERT_TRUE(Exists(out + ".partial")) << printed;
    kill(run.pid, SIGTERM);
    while (read(run.stdoutFd, &ch, 1) == 1) printed += ch;
    EXPECT_EQ(printed.substr(printed.size() - 9), "\nFailure\n") << printed;
    int status = 0;
    waitpid(run.pid, &status, 0);
    close(run.stdoutFd);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 143);
    std::ifstream errFile(dir + "/err");
    std::string err((std::istreambuf_iterator<char>(errFile)), std::istreambuf_iterator<char>());
    EXPECT_NE(err.find(" of 2048 bytes read; no read-back file was written\n"), std::string::npos)
        << err;
    EXPECT_FALSE(Exists(out));
    EXPECT_FALSE(Exists(out + ".partial"));
}

TEST_F(Operations, VerifyPassesOnAChipThatHoldsTheFileAndWritesNothing) {
    std::vector<Block> blocks = {{0xF800, Pattern(200, 9)}, {0xFFFE, {0xF8, 0x00}}};
    std::string file = WriteS19(dir, "app.s19", blocks);
    SimProcess sim({"--eeprom", file, "--trace"});
    ProgramResult result = Run(sim, "-n -i " + file);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(WithoutBanner(result.out), "Downloading talker file\n" + TalkerMarks() +
                                             "Verifying " + file + "\n" + Dots(S19Lines(blocks)) +
                                             "Success\n");
    EXPECT_EQ(sim.stat("eeprom_program") + sim.stat("eeprom_byte_erase"), 0);
    EXPECT_EQ(sim.errors().find("BPROT"), std::string::npos) << "not even BPROT is written";
}

// A chip that differs, and one whose bulk erase was never done (the file's $FF against
// programmed bytes): the first 20 addresses, then a count.
TEST_F(Operations, VerifyFailsWithTheFirstDifferingAddresses) {
    Bytes chip = Pattern(64, 1), file = chip;
    for (size_t i = 0; i < 24; i++) file[2 * i] ^= 0x80;
    file[63] = 0xFF;
    std::string preload = WriteS19(dir, "chip.s19", {{0xF800, chip}});
    std::string path = WriteS19(dir, "file.s19", {{0xF800, file}});
    SimProcess sim({"--eeprom", preload});
    ProgramResult result = Run(sim, "-n -i " + path);
    sim.stop();
    EXPECT_EQ(result.status, 3);
    std::ostringstream expected;
    for (unsigned i = 0; i < 20; i++) {
        char line[40];
        snprintf(line, sizeof line, "$%04X: file %02X, chip %02X\n", 0xF800 + 2 * i, file[2 * i],
                 chip[2 * i]);
        expected << line;
    }
    expected << "... and 5 more\n25 byte(s) differ: the chip does not hold the file\n";
    EXPECT_EQ(result.err, expected.str());
    EXPECT_EQ(result.out.substr(result.out.size() - 12), "...\nFailure\n");
    EXPECT_EQ(sim.dumped(0xF800, 0xF83F), chip);
}

// A reflash reads the EEPROM first and programs only what differs: nothing on an unchanged
// chip, exactly the ten bytes that read $FF on a chip that lacks them.
TEST_F(Operations, ReflashProgramsOnlyTheBytesThatDiffer) {
    Bytes image = Pattern(0x800, 0x21);
    std::string file = WriteS19(dir, "app.s19", {{0xF800, image}});
    Bytes holes = image;
    for (size_t i = 0; i < 10; i++) holes[200 * i + 7] = 0xFF;
    std::string lacking = WriteS19(dir, "lacking.s19", {{0xF800, holes}});
    struct Case {
        std::string preload;
        double programmed;
    } cases[] = {{file, 0}, {lacking, 10}};
    for (const Case &c : cases) {
        SimProcess sim({"--eeprom", c.preload});
        ProgramResult result = Run(sim, "-i " + file);
        sim.stop();
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out.substr(result.out.size() - 8), "Success\n");
        EXPECT_EQ(sim.stat("eeprom_program"), c.programmed) << c.preload;
        EXPECT_EQ(sim.stat("eeprom_byte_erase"), 0) << c.preload;
        EXPECT_EQ(sim.dumped(0xF800, 0xFFFF), image) << c.preload;
    }
}

// A byte the line changes during "-r" is caught by the block's check word and read again; a
// line that keeps changing them fails the run, and no file is written.
TEST_F(Operations, ReadBackIsCheckedByTheBlocksCheckWord) {
    std::string preload = WriteS19(dir, "preload.s19", {{0xF800, Pattern(0x800, 0x3C)}});
    std::string out = dir + "/x.s19";
    SimProcess sim({"--eeprom", preload, "--fault", "corrupt:401"});
    ProgramResult result = Run(sim, "-r f800-ffff -o " + out);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    // The 401st byte the chip sends lies in the block's second span.
    EXPECT_EQ(result.err,
              "ReadTargetBytes: $F880-$F8FF did not match its check word; reading it again\n");
    EXPECT_EQ(ReadS19Range(out, 0xF800, 0xFFFF), sim.dumped(0xF800, 0xFFFF));

    std::vector<std::string> noisy = {"--eeprom", preload};
    for (unsigned n = 300; n < 12000; n += 40) {
        noisy.push_back("--fault");
        noisy.push_back("corrupt:" + std::to_string(n));
    }
    SimProcess bad(noisy);
    result = Run(bad, "-r f800-ffff -o " + out + "2");
    bad.stop();
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err.find("did not match its check word in 3 reads"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.out.substr(result.out.size() - 8), "Failure\n");
    EXPECT_FALSE(Exists(out + "2"));
}

// Two bytes the line inverts 256 bytes apart in a chip of alternate $FF and $00 pages cancel
// in a sum of sums modulo 256; each span's check catches them. The 299th and 555th bytes the
// chip sends are $F828, in the first span, and $F924, in the third (two check bytes a span):
// "-r" reads both spans again and writes the chip's bytes; "-n" against a file that holds what
// the line made of them finds the two bytes that differ.
TEST_F(Operations, TwoBytesChangedAPageApartAreCaughtByTheirSpansChecks) {
    Bytes pages(0x800);
    for (size_t i = 0; i < pages.size(); i++) pages[i] = (i / 0x100) % 2 == 0 ? 0xFF : 0x00;
    std::string preload = WriteS19(dir, "pages.s19", {{0xF800, pages}});
    Bytes heard = pages;
    heard[0x028] ^= 0xFF;
    heard[0x124] ^= 0xFF;
    std::string file = WriteS19(dir, "heard.s19", {{0xF800, heard}});
    const std::string readAgain =
        "ReadTargetBytes: $F800-$F87F did not match its check word; reading it again\n"
        "ReadTargetBytes: $F900-$F97F did not match its check word; reading it again\n";
    struct Case {
        std::string args;
        int status;
        std::string err;
    } cases[] = {
        {"-r f800-ffff -o " + dir + "/out.s19", 0, readAgain},
        {"-n -i " + file, 3,
         readAgain + "$F828: file 00, chip FF\n$F924: file FF, chip 00\n"
                     "2 byte(s) differ: the chip does not hold the file\n"},
    };
    for (const Case &c : cases) {
        SimProcess sim({"--eeprom", preload, "--fault", "corrupt:299", "--fault", "corrupt:555"});
        ProgramResult result = Run(sim, c.args);
        sim.stop();
        EXPECT_EQ(result.status, c.status) << c.args;
        EXPECT_EQ(result.err, c.err) << c.args;
        EXPECT_EQ(sim.dumped(0xF800, 0xFFFF), pages) << c.args;
    }
    EXPECT_EQ(ReadS19Range(dir + "/out.s19", 0xF800, 0xFFFF), pages);
}

// The read-back's format follows the -o name: srec_cat reads each back as the chip's bytes.
TEST_F(Operations, ReadBackIsWrittenInTheFormatOfItsExtension) {
    const Bytes chip = Pattern(0x100, 0x47);
    std::string preload = WriteS19(dir, "preload.s19", {{0xF800, chip}});
    SimProcess sim({"--eeprom", preload});
    struct Case {
        const char *name;
        std::string reader;  // srec_cat's input options for it
    } cases[] = {{"x.srec", ""},
                 {"x.mot", ""},
                 {"x.hex", " -intel"},
                 {"x.ihx", " -intel"},
                 {"x.bin", " -binary -offset 0xF810"}};
    for (const Case &c : cases) {
        std::string out = dir + "/" + c.name;
        ProgramResult result = Run(sim, "-r f810-f8ff -o " + out);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(
            result.out.find(" holds the bytes alone, the first from $F810\n") != std::string::npos,
            c.reader.find("binary") != std::string::npos)
            << result.out;
        EXPECT_EQ(ReadS19Range(out + c.reader, 0xF810, 0xF8FF),
                  Bytes(chip.begin() + 0x10, chip.end()))
            << c.name;
    }
    sim.stop();
}

// Intel HEX (srec_cat's) is taken by its content; a raw binary with --base.
TEST_F(Operations, IntelHexAndRawBinaryFilesProgramTheChip) {
    Bytes image = Pattern(0x300, 0x5D);
    std::string s19 = WriteS19(dir, "app.s19", {{0xF900, image}});
    std::string hex = dir + "/app.hex", bin = dir + "/app.bin";
    ASSERT_EQ(system((std::string(SREC_CAT_PATH) + " " + s19 + " -o " + hex + " -intel").c_str()),
              0);
    ASSERT_EQ(
        system((std::string(SREC_CAT_PATH) + " " + s19 + " -offset -0xF900 -o " + bin + " -binary")
                   .c_str()),
        0);
    for (const std::string &args : {"-i " + hex, "--base f900 -i " + bin}) {
        SimProcess sim;
        ProgramResult result = Run(sim, "-B " + args);
        sim.stop();
        EXPECT_EQ(result.status, 0) << args << result.err;
        EXPECT_EQ(sim.dumped(0xF900, 0xFBFF), image) << args;
    }
}

// A bulk erase is read back before the run says Success: all of the EEPROM after "-B" alone,
// the bytes the file does not set after its download (here a file in external RAM sets none). A
// cell that kept its value fails the run, naming it; a healthy chip takes the file.
TEST_F(Operations, BulkEraseIsReadBackWhereTheFileDoesNotSetTheEeprom) {
    const Bytes kept = Pattern(16, 0x30);
    const Bytes file = Pattern(0x100, 0x77);
    std::string bin = dir + "/in.bin";
    std::ofstream(bin, std::ios::binary)
        .write(reinterpret_cast<const char *>(file.data()), std::streamsize(file.size()));
    struct Case {
        const char *name;
        std::vector<std::string> sim;
        uint16_t wEeprom, wStuck;
        std::string args;
    } cases[] = {
        {"EraseOnly", {}, 0xF800, 0xF805, "-B"},
        {"FileInExternalRam",
         {"--part", "E9", "--xram", "7000-7FFF"},
         0xB6C0,
         0xB6CC,
         "-p E9 -E -B -i " + bin + " --base 7595"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = c.sim;
        args.insert(args.end(), {"--eeprom", WriteS19(dir, "kept.s19", {{c.wEeprom, kept}})});
        SimProcess healthy(args);
        ProgramResult erased = Run(healthy, c.args);
        healthy.stop();
        EXPECT_EQ(erased.status, 0) << c.name << erased.err;
        EXPECT_EQ(healthy.dumped(c.wEeprom, uint16_t(c.wEeprom + 15)), Bytes(16, 0xFF)) << c.name;
        if (!c.sim.empty()) {
            EXPECT_EQ(healthy.dumped(0x7595, 0x7694), file) << c.name;
        }
        char szStuck[16];
        snprintf(szStuck, sizeof szStuck, "stuck:%04X", c.wStuck);
        args.insert(args.end(), {"--fault", szStuck});
        SimProcess stuck(args);
        ProgramResult result = Run(stuck, c.args);
        stuck.stop();
        EXPECT_EQ(result.status, 3) << c.name;
        char line[96];
        snprintf(line, sizeof line,
                 "BulkErase: 1 byte(s) of the EEPROM did not erase, the first at $%04X (reads "
                 "%02X)\n",
                 c.wStuck, kept[c.wStuck - c.wEeprom]);
        EXPECT_NE(result.err.find(line), std::string::npos) << c.name << result.err;
        EXPECT_EQ(result.out.substr(result.out.size() - 8), "Failure\n") << c.name;
    }
}

}  // namespace
