// libFuzzer target for the serial counter file's reader and "--serial"'s value. A number read
// from a file is the first line's digits: written back alone it reads the same. An accepted
// "--serial" names 1 to 8 bytes that end at $FFFF at the latest, and written back in
// hexadecimal it is accepted again, the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "serial_counter.h"

namespace {

void Require(bool fCondition, const char *pszWhat) {
    if (fCondition) return;
    fprintf(stderr, "fuzz_serial_counter: %s\n", pszWhat);
    abort();
}

void CheckCounterText(const char *pch, size_t cch) {
    uint64_t qwNext = 0;
    if (!ParseSerialCounterText(pch, cch, &qwNext)) return;
    std::string strAgain = std::to_string(qwNext);
    Require(std::string(pch, cch).find(strAgain) != std::string::npos, "a number not in the text");
    strAgain += "\r\n";
    uint64_t qwAgain = 0;
    Require(ParseSerialCounterText(strAgain.data(), strAgain.size(), &qwAgain) && qwAgain == qwNext,
            "a number written back reads differently");
}

void CheckSpec(const char *pch, size_t cch) {
    std::string strValue(pch, cch);
    strValue.resize(strlen(strValue.c_str()));
    uint16_t wAddress = 0;
    uint32_t dwBytes = 0;
    if (!ParseSerialSpec(strValue.c_str(), &wAddress, &dwBytes)) return;
    Require(dwBytes >= 1 && dwBytes <= MAX_SERIAL_BYTES, "a byte count out of range");
    Require(wAddress + dwBytes - 1 <= 0xFFFF, "bytes past $FFFF");
    char szAgain[16];
    snprintf(szAgain, sizeof szAgain, "%X:%u", (unsigned)wAddress, (unsigned)dwBytes);
    uint16_t wAgain = 0;
    uint32_t dwAgain = 0;
    Require(ParseSerialSpec(szAgain, &wAgain, &dwAgain) && wAgain == wAddress && dwAgain == dwBytes,
            "a value written back reads differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData) {
    const char *pch = reinterpret_cast<const char *>(pbData);
    CheckCounterText(pch, cbData);
    CheckSpec(pch, cbData);
    return 0;
}
