// ser2net, the usual network serial server, started by a test with its own configuration on
// a free loopback port: for the network port's tests and the whole runs through it.
#pragma once

#include <cstdint>
#include <string>

#include "child_process.h"

// A TCP port of 127.0.0.1 that nothing listens on now.
uint16_t FreeLoopbackPort();

// One connection as the README shows it: an RFC 2217 accepter on 127.0.0.1:wPort in front
// of device at 9600 8N1 without modem lines.
std::string Ser2netYaml(uint16_t wPort, const std::string &device);

// Starts ser2net (at ser2netPath) with yaml written to dir/ser2net.yaml, in the foreground
// and telling on standard output (-d) what it does; its errors go to dir/ser2net.log.
// pid is -1 when it could not start.
ChildProcess StartSer2net(const std::string &ser2netPath, const std::string &dir,
                          const std::string &yaml);

// Waits up to 5 s for something to listen on 127.0.0.1:wPort. True when it does.
bool AwaitListener(uint16_t wPort);

// Stops it and waits for its end; the configuration and the log are removed.
void StopSer2net(ChildProcess *pSer2net, const std::string &dir);
