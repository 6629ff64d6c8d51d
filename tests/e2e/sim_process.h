// hc11sim as a child process: started with options, its pty path read from its first line,
// stopped with SIGTERM so that it writes its dump and statistics.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class SimProcess {
  public:
    // Starts hc11sim with --dump and --stats into a temporary folder, plus extraArgs.
    explicit SimProcess(const std::vector<std::string> &extraArgs = {});
    ~SimProcess();

    const std::string &path() const { return path_; }
    // Stops the simulator (SIGTERM) and reads its statistics; the dump is then written.
    void stop();
    // Resets the chip (SIGUSR1): RAM and registers as after a reset, the boot ROM waiting.
    void reset();
    double stat(const std::string &name) const;
    const std::string &dumpPath() const { return dumpPath_; }
    // The dumped bytes from first to last (inclusive), read with srec_cat.
    std::vector<uint8_t> dumped(uint16_t first, uint16_t last) const;
    // What hc11sim wrote to standard error (its trace, with --trace).
    std::string errors() const;
    // A terminal on the pty at baud, raw: sends bytes, then returns what came back within
    // timeoutMs of each byte, count bytes at most.
    std::vector<uint8_t> converse(const std::vector<uint8_t> &bytes, unsigned baud, size_t count,
                                  int timeoutMs = 3000) const;

  private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string dir_, path_, dumpPath_;
    std::map<std::string, double> stats_;
};

// The bytes of an S19 file from first to last (inclusive), read with srec_cat; bytes the
// file does not hold read as fill.
std::vector<uint8_t> ReadS19Range(const std::string &file, uint16_t first, uint16_t last,
                                  uint8_t fill = 0xFF);
