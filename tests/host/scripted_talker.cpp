#include "scripted_talker.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "com_port.h"
#include "talker_protocol.h"
#include "test_link.h"
#include "trace_port.h"

bool ScriptedTalker::readByte(FakeTarget &target, uint8_t *byte) {
    while (!stop) {
        if (target.readByte(byte, 50)) return true;
    }
    return false;
}

bool ScriptedTalker::readWord(FakeTarget &target, uint16_t *word) {
    uint8_t high, low;
    if (!readByte(target, &high) || !readByte(target, &low)) return false;
    *word = uint16_t(high << 8 | low);
    return true;
}

uint8_t ScriptedTalker::store(uint16_t address, uint8_t value) {
    std::lock_guard<std::mutex> guard(lock_);
    bool stuck =
        std::find(stuckAddresses_.begin(), stuckAddresses_.end(), address) != stuckAddresses_.end();
    if (!stuck) memory_[address] = value;
    return memory_[address];
}

std::vector<TalkerFrame> ScriptedTalker::frames() const {
    std::lock_guard<std::mutex> guard(lock_);
    return frames_;
}

void ScriptedTalker::clearFrames() {
    std::lock_guard<std::mutex> guard(lock_);
    frames_.clear();
}

void ScriptedTalker::setStuckAddresses(std::vector<uint16_t> addresses) {
    std::lock_guard<std::mutex> guard(lock_);
    stuckAddresses_ = std::move(addresses);
}

uint8_t ScriptedTalker::memoryAt(uint16_t address) const {
    std::lock_guard<std::mutex> guard(lock_);
    return memory_[address];
}

void ScriptedTalker::setMemory(uint16_t address, const std::vector<uint8_t> &bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    for (size_t i = 0; i < bytes.size(); i++) memory_[uint16_t(address + i)] = bytes[i];
}

void ScriptedTalker::setCorruptRead(uint32_t n) {
    std::lock_guard<std::mutex> guard(lock_);
    corruptRead_ = n;
    readSent_ = 0;
}

// "R": the bytes in spans that end after an address whose low seven bits are all ones, each
// followed by its check bytes over what the chip holds (not over what the line did to them):
// the XOR of the span's bytes, then the sum over GF(2^8) that takes the running XOR after
// doubling modulo $11D, written here from the definition rather than shared with the host.
void ScriptedTalker::serveBlockRead(FakeTarget &target, const TalkerFrame &frame) {
    uint32_t count = frame.count == 0 ? 65536 : frame.count;
    std::vector<uint8_t> bytes;
    uint8_t xorSum = 0, gfSum = 0;
    std::lock_guard<std::mutex> guard(lock_);
    for (uint32_t i = 0; i < count; i++) {
        uint16_t address = uint16_t(frame.address + i);
        uint8_t value = memory_[address];
        xorSum ^= value;
        gfSum = uint8_t(gfSum << 1 ^ (gfSum & 0x80 ? 0x1D : 0) ^ xorSum);
        bool corrupt = corruptRead_ != 0 && ++readSent_ % corruptRead_ == 0;
        bytes.push_back(corrupt ? uint8_t(~value) : value);
        if ((address & 0x7F) == 0x7F || i + 1 == count) {
            bytes.insert(bytes.end(), {xorSum, gfSum});
            xorSum = gfSum = 0;
        }
    }
    target.writeBytes(bytes);
}

bool ScriptedTalker::serveBlock(FakeTarget &target, TalkerFrame &frame) {
    uint32_t count = frame.count == 0 ? 65536 : frame.count;
    for (uint32_t i = 0; i < count; i++) {
        uint8_t value;
        if (!readByte(target, &value)) return false;
        frame.data.push_back(value);
        target.writeByte(store(uint16_t(frame.address + i), value));
    }
    return true;
}

void ScriptedTalker::serve(FakeTarget &target) {
    target.writeByte('>');
    uint8_t letter;
    while (readByte(target, &letter)) {
        if (letter == 's') {
            target.writeByte('>');
            continue;
        }
        TalkerFrame frame{char(letter), 0, 0, {}};
        if (!readWord(target, &frame.address) || !readWord(target, &frame.count)) return;
        bool complete = true;
        if (letter == 'W' || letter == 'P') {
            complete = serveBlock(target, frame);
        } else if (letter == 'R') {
            serveBlockRead(target, frame);
        } else if (letter == 'w') {
            target.writeByte(store(frame.address, uint8_t(frame.count)));
        } else if (letter != 'B') {
            target.writeByte('?');
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            frames_.push_back(frame);
        }
        if (!complete) return;
        target.writeByte('>');
    }
}

void TalkerLinkTest::SetUp() {
    StartTestLink(&link, &linkTarget, 0, target.path().c_str());
    ASSERT_EQ(OpenComPort(&link, 9600), 1);
    pPort = link.pPort;
}

void TalkerLinkTest::TearDown() {
    talker.stop = true;
    target.join();
    CloseComPort(&link);
}

void TalkerLinkTest::StartTalker() {
    target.start([this](FakeTarget &t) { talker.serve(t); });
    ASSERT_EQ(GetPrompt(pPort, 0), 1);
}

void TalkerLinkTest::StartTracing() {
    linkTarget.fTrace = 1;
    OpenTracePort(&link.trace, &link.device);
    pPort = link.pPort = &link.trace;
}
