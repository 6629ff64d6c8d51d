// libFuzzer target for the network serial port's parser of a server's bytes, and for its
// "rfc2217://HOST:PORT" names. The first byte says where the rest is cut in two reads: the
// data and the commands must come out the same as from one read, the data never longer than
// the input, no subnegotiation longer than its room, no answer to an option longer than one
// command. An accepted name written back the same way must be accepted again, the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "rfc2217_protocol.h"

namespace {

void Require(bool fCondition, const char *pszWhat) {
    if (fCondition) return;
    fprintf(stderr, "fuzz_rfc2217: %s\n", pszWhat);
    abort();
}

// Everything the parser gives, in order: the data bytes, and each command as text.
struct ParseResult {
    std::vector<uint8_t> data;
    std::string strCommands;
};

void ParsePiece(TelnetParser *pParser, TelnetOptions *pOptions, const uint8_t *pbIn, size_t cbIn,
                ParseResult *pResult) {
    std::vector<uint8_t> data(cbIn + 1);
    size_t ibNext = 0;
    while (ibNext < cbIn) {
        size_t cbData = 0;
        TelnetEvent event;
        ibNext +=
            ParseTelnetBytes(pParser, pbIn + ibNext, cbIn - ibNext, data.data(), &cbData, &event);
        Require(cbData <= cbIn, "more data than input");
        pResult->data.insert(pResult->data.end(), data.begin(), data.begin() + cbData);
        Require(event.cbBytes <= TELNET_SUBNEGOTIATION_ROOM, "a subnegotiation past its room");
        if (event.eKind == TELNET_EVENT_NONE) continue;
        pResult->strCommands += std::to_string(event.eKind) + ":" + std::to_string(event.bOption) +
                                ":" + std::string(event.pbBytes, event.pbBytes + event.cbBytes) +
                                ";";
        if (event.eKind != TELNET_EVENT_OPTION) continue;
        uint8_t rgbAnswer[8];
        Require(AnswerTelnetOption(pOptions, event.bVerb, event.bOption, rgbAnswer) <= 3,
                "an answer longer than one command");
    }
}

ParseResult ParseInPieces(const uint8_t *pbIn, size_t cbIn, size_t cbFirst) {
    TelnetParser parser;
    InitTelnetParser(&parser);
    TelnetOptions options;
    uint8_t rgbStart[16];
    StartTelnetOptions(&options, rgbStart);
    ParseResult result;
    ParsePiece(&parser, &options, pbIn, cbFirst, &result);
    ParsePiece(&parser, &options, pbIn + cbFirst, cbIn - cbFirst, &result);
    return result;
}

void CheckUrl(const uint8_t *pbData, size_t cbData) {
    std::string strUrl(reinterpret_cast<const char *>(pbData), cbData);
    strUrl.resize(strlen(strUrl.c_str()));
    char szHost[64], szService[8];
    if (!ParseRfc2217Url(strUrl.c_str(), szHost, sizeof(szHost), szService, sizeof(szService))) {
        return;
    }
    unsigned long dwPort = strtoul(szService, NULL, 10);
    Require(szHost[0] != '\0' && dwPort >= 1 && dwPort <= 65535, "an accepted name is empty");
    std::string strHost = strchr(szHost, ':') ? "[" + std::string(szHost) + "]" : szHost;
    std::string strAgain = "rfc2217://" + strHost + ":" + szService;
    char szHostAgain[64], szServiceAgain[8];
    Require(ParseRfc2217Url(strAgain.c_str(), szHostAgain, sizeof(szHostAgain), szServiceAgain,
                            sizeof(szServiceAgain)) &&
                strcmp(szHost, szHostAgain) == 0 && strcmp(szService, szServiceAgain) == 0,
            "an accepted name written back parses differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData) {
    CheckUrl(pbData, cbData);
    if (cbData == 0) return 0;
    const uint8_t *pbStream = pbData + 1;
    size_t cbStream = cbData - 1;
    ParseResult whole = ParseInPieces(pbStream, cbStream, cbStream);
    ParseResult split = ParseInPieces(pbStream, cbStream, cbStream == 0 ? 0 : pbData[0] % cbStream);
    Require(whole.data == split.data, "the data depends on where a read ends");
    Require(whole.strCommands == split.strCommands, "the commands depend on where a read ends");
    return 0;
}
