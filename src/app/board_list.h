// The boards a run is given: "-d" more than once, and "--boards FILE" with one port name a
// line. Every name is checked before any board is touched.
#pragma once

#include <cstddef>
#include <cstdint>

enum {
    MAX_BOARDS = 128,
    BOARD_NAME_ROOM = 260,     // as "-d": room for 259 characters and the terminator
    BOARDS_FILE_ROOM = 65536,  // the longest "--boards" file read
};

struct BoardList {
    uint32_t dwCount;
    char rgszName[MAX_BOARDS][BOARD_NAME_ROOM];
};

enum BoardsFileResult {
    BOARDS_FILE_MALFORMED = 0,  // a name refused, or too many: the command line's status
    BOARDS_FILE_READ = 1,
    BOARDS_FILE_UNREADABLE = 2,  // missing or unreadable: the input file's status
};

// Adds one port name, or refuses it with a message and 0: an empty name, one too long, an
// "rfc2217://" name that is no HOST:PORT, a name with control characters, a full list.
int AddBoardName(BoardList *pList, const char *pszName);

// Adds the names of a "--boards" file's text: one a line, white space around it trimmed,
// blank lines and lines starting with "#" skipped, LF or CRLF line ends. A refused line's
// message names the file and the line. Returns 1, or 0 at the first refused line.
int ParseBoardsText(BoardList *pList, const char *pch, size_t cch, const char *pszFileName);

// Reads and adds the names of a "--boards" file.
BoardsFileResult ReadBoardsFile(BoardList *pList, const char *pszPath);

// Refuses a list that names one device twice: the same name, a link and its target (local
// devices that exist are compared by their real names), or the same network host and port.
// The message names both. Returns 1 when every board is distinct.
int CheckBoardsDistinct(const BoardList *pList);
