// An RFC 2217 server in the test process, on a loopback port, answering as its script says:
// the cases a real server makes hard to bring about (a refused option or rate, silence, data
// around a purge's answer).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "rfc2217_protocol.h"

typedef std::vector<uint8_t> Bytes;

struct ServerScript {
    enum ComPortAnswer { ACCEPT, REFUSE, REFUSE_WITH_WONT, SILENT };
    ComPortAnswer eComPort = ACCEPT;  // the answer to WILL COM-PORT-OPTION (SILENT: none at all)
    uint32_t dwRateAnswer = 0;        // answers this rate to every request; 0: the rate asked
    bool fAnswerControl = false;      // answers SET-CONTROL (ser2net before a pty does not)
    Bytes beforePurgeAnswer;          // raw bytes sent just before the answer to PURGE-DATA
    Bytes afterPurgeAnswer;
    Bytes wordsThenHangUp;  // when not empty: sent after DO COM-PORT-OPTION, then the end
};

// One COM-PORT-OPTION command the client sent.
struct ReceivedCommand {
    uint8_t bCommand;
    uint32_t dwValue;
};

class ScriptedServer {
  public:
    explicit ScriptedServer(const ServerScript &script);
    ~ScriptedServer();
    std::string Url() const;
    // Sends raw bytes (Telnet commands included) to the client once it has connected.
    void Send(const Bytes &bytes);
    // Waits (for a few seconds at most) until the client sent cbCount data bytes; returns them.
    Bytes WaitForData(size_t cbCount);
    std::vector<ReceivedCommand> Commands();
    // Ends the connection.
    void Stop();

  private:
    void Serve();
    void TakeClientBytes(const uint8_t *pbBytes, size_t cbBytes);
    void TakeCommand(uint8_t bCommand, const uint8_t *pbValue, size_t cbValue);
    void SendNow(const Bytes &bytes);

    ServerScript script_;
    int listenFd_ = -1;
    uint16_t wPort_ = 0;
    TelnetParser parser_;
    std::atomic<int> clientFd_{-1};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    Bytes data_;
    std::vector<ReceivedCommand> commands_;
    std::thread thread_;
};
