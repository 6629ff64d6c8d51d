// libFuzzer target for the "--boards" file's reader. Every name it keeps is a trimmed line of
// the text, no comment, no control character, within its room; the list never passes its
// room; and the names kept, written one a line, read back as the same list.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "board_list.h"

namespace {

void Require(bool fCondition, const char *pszWhat) {
    if (fCondition) return;
    fprintf(stderr, "fuzz_boards_file: %s\n", pszWhat);
    abort();
}

void CheckName(const char *pszName, const std::string &strText) {
    size_t cch = strlen(pszName);
    Require(cch > 0 && cch < BOARD_NAME_ROOM, "a name empty or past its room");
    Require(pszName[0] != '#', "a comment kept as a name");
    Require(pszName[0] != ' ' && pszName[0] != '\t' && pszName[cch - 1] != ' ' &&
                pszName[cch - 1] != '\t',
            "a name not trimmed");
    for (size_t i = 0; i < cch; i++) {
        Require((unsigned char)pszName[i] >= 0x20 && pszName[i] != 0x7F, "a control character");
    }
    Require(strText.find(pszName) != std::string::npos, "a name that is not in the text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData) {
    std::string strText(reinterpret_cast<const char *>(pbData), cbData);
    std::unique_ptr<BoardList> pList(new BoardList());
    int fAccepted = ParseBoardsText(pList.get(), strText.data(), strText.size(), "boards");
    Require(pList->dwCount <= MAX_BOARDS, "more boards than the list's room");
    std::string strAgain;
    for (uint32_t i = 0; i < pList->dwCount; i++) {
        CheckName(pList->rgszName[i], strText);
        strAgain += std::string(pList->rgszName[i]) + "\n";
    }
    if (!fAccepted) return 0;
    std::unique_ptr<BoardList> pAgain(new BoardList());
    Require(ParseBoardsText(pAgain.get(), strAgain.data(), strAgain.size(), "again") &&
                pAgain->dwCount == pList->dwCount,
            "the names written back are refused");
    for (uint32_t i = 0; i < pList->dwCount; i++) {
        Require(strcmp(pAgain->rgszName[i], pList->rgszName[i]) == 0,
                "a name written back reads differently");
    }
    return 0;
}
