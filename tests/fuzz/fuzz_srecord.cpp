// libFuzzer target for ParseSRecordString. Each input is taken as one line (up to its first
// zero byte). Besides the sanitizers' own checks it holds the parser to what its callers rely
// on: an accepted record is of a type that exists (not 4) and fits the data room, an
// accepted S1 record written back by our writer parses to the same record, and every field
// conversion agrees with sscanf on the same text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "field_scan.h"
#include "srecord.h"

namespace {

void Require(bool fCondition, const char *pszWhat) {
    if (fCondition) return;
    fprintf(stderr, "fuzz_srecord: %s\n", pszWhat);
    abort();
}

void CheckAcceptedRecord(const SRecord &record) {
    Require(record.wType <= 9 && record.wType != 4, "accepted another type");
    Require(record.wLength <= SRECORD_DATA_ROOM, "accepted more bytes than the data room");
    if (record.wType != 1) return;
    char szLine[SRECORD_LINE_ROOM];
    Require(FormatS1Record(record.wAddress, record.bData, record.wLength, szLine, sizeof szLine),
            "the writer refused a parsed record");
    // Its own heap block, so that a byte stored past the data room is seen by the sanitizer.
    auto pAgain = std::make_unique<SRecord>();
    Require(ParseSRecordString(szLine, pAgain.get()) == 1, "the parser refused the writer's line");
    Require(pAgain->wAddress == record.wAddress && pAgain->wLength == record.wLength &&
                memcmp(pAgain->bData, record.bData, record.wLength) == 0,
            "the written record parses differently");
}

void CheckScanLikeSscanf(const std::string &strText) {
    static const struct {
        const char *pszFormat;
        uint32_t dwWidth;
        uint32_t dwBase;
    } kFormats[] = {{"%1u", 1, 10}, {"%2x", 2, 16}, {"%4x", 4, 16}};
    for (const auto &format : kFormats) {
        unsigned uExpected = 0;
        uint32_t dwValue = 0;
        int fExpected = sscanf(strText.c_str(), format.pszFormat, &uExpected) == 1;
        int fResult =
            ScanField(strText.data(), strText.size(), format.dwWidth, format.dwBase, &dwValue);
        Require(fResult == fExpected, "the field conversion succeeds where sscanf does not");
        Require(!fResult || dwValue == uExpected, "the field conversion differs from sscanf");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData) {
    // The line ends at the first zero byte, as a C string does.
    std::string strLine(reinterpret_cast<const char *>(pbData), cbData);
    strLine.resize(strlen(strLine.c_str()));
    auto pRecord = std::make_unique<SRecord>();
    if (ParseSRecordString(strLine.c_str(), pRecord.get())) CheckAcceptedRecord(*pRecord);
    CheckScanLikeSscanf(strLine);
    return 0;
}
