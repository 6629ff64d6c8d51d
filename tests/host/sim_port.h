// A port onto hc11sim's chip in the test process: no pty, no thread, no wall clock. Writes
// go on the simulated wire at the port's rate; reads, drains and waits run the chip for the
// simulated time they stand for, so a read against a silent chip returns at once however
// long its time-out. The host's own code runs over it unchanged.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "com_port.h"
#include "port.h"
#include "simulator.h"
#include "talker_link.h"

// Opens pPort onto pSim's wire at dwBaudRate. What the chip sent before is not heard, as on a
// port opened late. The simulator must outlive the port.
void OpenSimPort(Port *pPort, hc11::Simulator *pSim, uint32_t dwBaudRate);

// Makes every stage of the link open its port onto pSim instead of by name.
void UseSimPort(TalkerLink *pLink, hc11::Simulator *pSim);

// Puts the talker image in the chip's RAM and starts it there, as the boot ROM would.
void StartTalkerInSim(hc11::Simulator *pSim);

// A link whose stages open their port onto a simulated 811E2 in bootstrap mode, the port open
// at 9600 baud from the start as TalkerLinkTest's.
class SimLinkTest : public testing::Test {
  protected:
    void SetUp() override { OpenLink(hc11::SimConfig{}); }
    void TearDown() override { CloseComPort(&link); }
    // A fresh chip of config, the link closed and pointed at it.
    void UseChip(const hc11::SimConfig &config);
    // The same, the link's port then open at 9600 baud.
    void OpenLink(const hc11::SimConfig &config);
    // Starts the talker and reads its start-up prompt.
    void StartTalker();
    // Then sets the chip up as a run does before it writes: the bus expanded (reaching the
    // external RAM of WithExternalRam), BPROT set to bBprot.
    void StartTalkerForWrites(uint8_t bBprot = 0x10);
    // "-V" from here on: the port wrapped in the tracing port.
    void StartTracing();
    // A chip with external RAM at $2000-$3FFF, where the tests' lines outside the EEPROM land.
    static hc11::SimConfig WithExternalRam();

    std::unique_ptr<hc11::Simulator> sim;
    LinkTarget linkTarget{};
    TalkerLink link{};
    Port *pPort = nullptr;  // link.pPort
};
