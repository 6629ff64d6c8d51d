// The far end of a pseudo-terminal, played by a test thread: what the host writes to the
// slave arrives here, and what the script writes here arrives at the host.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class FakeTarget {
  public:
    FakeTarget();
    ~FakeTarget();

    // The slave's path: what the host opens.
    const std::string &path() const { return path_; }

    // Runs script on a thread of its own; join() waits for it.
    void start(std::function<void(FakeTarget &)> script);
    void join();

    // Reads one byte the host sent, waiting up to timeoutMs. False on time-out.
    bool readByte(uint8_t *byte, int timeoutMs = 3000);
    // Reads count bytes (each with the default time-out) and returns them.
    std::vector<uint8_t> readBytes(size_t count);
    void writeBytes(const std::vector<uint8_t> &bytes);
    void writeByte(uint8_t byte) { writeBytes({byte}); }
    // Closes the master side: the host's next read or write fails.
    void hangUp();

    // Every byte the host sent, in order (filled by readByte).
    std::vector<uint8_t> received;

  private:
    int master_ = -1;
    int slave_ = -1;  // held open so that the tty outlives the host's close and reopen
    std::string path_;
    std::thread thread_;
};

// Runs a command line through /bin/sh and captures its standard output, standard error and
// exit status.
struct ProgramResult {
    int status;
    std::string out;
    std::string err;
};
ProgramResult RunProgram(const std::string &commandLine);
// The same with standard output on a terminal: terminal's far end collects it as out.
ProgramResult RunProgramOnTerminal(const std::string &commandLine, FakeTarget &terminal);

// Standard output with the banner's two lines and the empty line after them taken off.
std::string WithoutBanner(const std::string &out);

// hc11prog's usage text for the program name and the EEPROM range line ("f800-ffff").
std::string UsageText(const std::string &program, const std::string &range = "f800-ffff");

// The talker load's progress line: "0.1.…N." and the line end, one mark before each S1
// line of the talker image and one after the last.
std::string TalkerMarks();

// A fresh temporary directory for a test's files.
std::string MakeTempDir();
void WriteTextFile(const std::string &path, const std::string &text);
