#include "board_list.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "os_files.h"
#include "rfc2217_protocol.h"

namespace {

const char kNetworkScheme[] = "rfc2217://";
const size_t kSchemeLength = sizeof(kNetworkScheme) - 1;

enum { BOARD_KEY_ROOM = BOARD_NAME_ROOM + 32, PROBLEM_ROOM = BOARD_NAME_ROOM + 128 };

int IsNetworkName(const char *pszName) {
    return strncmp(pszName, kNetworkScheme, kSchemeLength) == 0;
}

int IsTrimmed(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\v' || ch == '\f';
}

int HasControlCharacter(const char *pch, size_t cch) {
    for (size_t i = 0; i < cch; i++) {
        if ((unsigned char)pch[i] < 0x20 || pch[i] == 0x7F) return 1;
    }
    return 0;
}

// What is wrong with the name pch[0..cch), or NULL when nothing is; szWhy holds the text.
const char *FindNameProblem(const char *pch, size_t cch, char szWhy[PROBLEM_ROOM]) {
    if (cch == 0) return "Expected device name value";
    if (cch >= BOARD_NAME_ROOM) {
        snprintf(szWhy, PROBLEM_ROOM, "Device name is too long: at most %u characters",
                 (unsigned)(BOARD_NAME_ROOM - 1));
        return szWhy;
    }
    if (HasControlCharacter(pch, cch)) return "a port name holds no control character";
    char szName[BOARD_NAME_ROOM], szHost[BOARD_NAME_ROOM], szService[8];
    memcpy(szName, pch, cch);
    szName[cch] = '\0';
    if (IsNetworkName(szName) &&
        !ParseRfc2217Url(szName, szHost, sizeof szHost, szService, sizeof szService)) {
        snprintf(szWhy, PROBLEM_ROOM,
                 "%s: not a network port: write rfc2217://HOST:PORT, PORT from 1 to 65535", szName);
        return szWhy;
    }
    return NULL;
}

// Checked by the caller: the name fits and the list has room.
void AppendName(BoardList *pList, const char *pch, size_t cch) {
    char *pszInto = pList->rgszName[pList->dwCount++];
    memcpy(pszInto, pch, cch);
    pszInto[cch] = '\0';
}

// What makes two names one port: the network host (in lowercase) and port, or the device's
// real name where it exists, else the name itself.
void FormatBoardKey(const char *pszName, char szKey[BOARD_KEY_ROOM]) {
    char szHost[BOARD_NAME_ROOM], szService[8];
    if (ParseRfc2217Url(pszName, szHost, sizeof szHost, szService, sizeof szService)) {
        for (char *pch = szHost; *pch != '\0'; pch++) {
            if (*pch >= 'A' && *pch <= 'Z') *pch = (char)(*pch - 'A' + 'a');
        }
        snprintf(szKey, BOARD_KEY_ROOM, "%s[%s]:%s", kNetworkScheme, szHost, szService);
    } else if (!ResolveDevicePath(pszName, szKey, BOARD_KEY_ROOM)) {
        snprintf(szKey, BOARD_KEY_ROOM, "%s", pszName);
    }
}

}  // namespace

int AddBoardName(BoardList *pList, const char *pszName) {
    char szWhy[PROBLEM_ROOM];
    const char *pszProblem = FindNameProblem(pszName, strlen(pszName), szWhy);
    if (pszProblem != NULL) {
        fprintf(stderr, "%s\n", pszProblem);
        return 0;
    }
    if (pList->dwCount >= MAX_BOARDS) {
        fprintf(stderr, "Too many boards: at most %u\n", (unsigned)MAX_BOARDS);
        return 0;
    }
    AppendName(pList, pszName, strlen(pszName));
    return 1;
}

int ParseBoardsText(BoardList *pList, const char *pch, size_t cch, const char *pszFileName) {
    uint32_t dwLine = 0;
    size_t ichLine = 0;
    while (ichLine < cch) {
        const char *pchEnd = (const char *)memchr(pch + ichLine, '\n', cch - ichLine);
        size_t ichEnd = pchEnd == NULL ? cch : (size_t)(pchEnd - pch);
        size_t ichStart = ichLine, ichStop = ichEnd;
        ichLine = ichEnd + 1;
        dwLine++;
        while (ichStart < ichStop && IsTrimmed(pch[ichStart])) ichStart++;
        while (ichStop > ichStart && IsTrimmed(pch[ichStop - 1])) ichStop--;
        if (ichStart == ichStop || pch[ichStart] == '#') continue;
        char szWhy[PROBLEM_ROOM];
        const char *pszProblem = FindNameProblem(pch + ichStart, ichStop - ichStart, szWhy);
        if (pszProblem != NULL) {
            fprintf(stderr, "%s line %u: %s\n", pszFileName, (unsigned)dwLine, pszProblem);
            return 0;
        }
        if (pList->dwCount >= MAX_BOARDS) {
            fprintf(stderr, "%s line %u: too many boards: at most %u\n", pszFileName,
                    (unsigned)dwLine, (unsigned)MAX_BOARDS);
            return 0;
        }
        AppendName(pList, pch + ichStart, ichStop - ichStart);
    }
    return 1;
}

BoardsFileResult ReadBoardsFile(BoardList *pList, const char *pszPath) {
    char rgchText[BOARDS_FILE_ROOM + 1];
    FILE *pFile = fopen(pszPath, "rb");
    if (pFile == NULL) {
        fprintf(stderr, "Boards file %s: %s\n", pszPath, strerror(errno));
        return BOARDS_FILE_UNREADABLE;
    }
    size_t cchText = fread(rgchText, 1, sizeof rgchText, pFile);
    int fFailed = ferror(pFile);
    int nError = errno;
    fclose(pFile);
    if (fFailed) {
        fprintf(stderr, "Boards file %s: %s\n", pszPath, strerror(nError));
        return BOARDS_FILE_UNREADABLE;
    }
    if (cchText > BOARDS_FILE_ROOM) {
        fprintf(stderr, "Boards file %s: longer than %u bytes\n", pszPath,
                (unsigned)BOARDS_FILE_ROOM);
        return BOARDS_FILE_MALFORMED;
    }
    uint32_t dwBefore = pList->dwCount;
    if (!ParseBoardsText(pList, rgchText, cchText, pszPath)) return BOARDS_FILE_MALFORMED;
    if (pList->dwCount == dwBefore) {
        fprintf(stderr, "Boards file %s names no port\n", pszPath);
        return BOARDS_FILE_MALFORMED;
    }
    return BOARDS_FILE_READ;
}

int CheckBoardsDistinct(const BoardList *pList) {
    char rgszKey[MAX_BOARDS][BOARD_KEY_ROOM];
    for (uint32_t i = 0; i < pList->dwCount; i++) FormatBoardKey(pList->rgszName[i], rgszKey[i]);
    for (uint32_t i = 0; i < pList->dwCount; i++) {
        for (uint32_t j = 0; j < i; j++) {
            if (strcmp(rgszKey[i], rgszKey[j]) != 0) continue;
            fprintf(stderr, "%s and %s are the same port: each board needs a port of its own\n",
                    pList->rgszName[j], pList->rgszName[i]);
            return 0;
        }
    }
    return 1;
}
