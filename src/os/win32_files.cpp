// Shared files, device names and the host name on Windows.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "os_files.h"

namespace {

HANDLE GetHandle(const SharedFile *pFile) {
    return (HANDLE)pFile->hFile;
}

OVERLAPPED MakeOffset(size_t cbOffset) {
    OVERLAPPED overlapped;
    memset(&overlapped, 0, sizeof overlapped);
    overlapped.Offset = (DWORD)cbOffset;
    overlapped.OffsetHigh = (DWORD)((unsigned long long)cbOffset >> 32);
    return overlapped;
}

}  // namespace

// Shared for reading and writing, so that other processes can open it too; the lock is
// what keeps them apart.
int OpenSharedFile(SharedFile *pFile, const char *pszPath, SharedFileMode eMode) {
    DWORD dwAccess = eMode == SHARED_FILE_UPDATE ? GENERIC_READ | GENERIC_WRITE : FILE_APPEND_DATA;
    DWORD dwCreation = eMode == SHARED_FILE_UPDATE ? OPEN_EXISTING : OPEN_ALWAYS;
    HANDLE hFile = CreateFileA(pszPath, dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               dwCreation, FILE_ATTRIBUTE_NORMAL, NULL);
    pFile->hFile = hFile == INVALID_HANDLE_VALUE ? -1 : (intptr_t)hFile;
    return hFile != INVALID_HANDLE_VALUE;
}

void CloseSharedFile(SharedFile *pFile) {
    if (pFile->hFile != -1) CloseHandle(GetHandle(pFile));
    pFile->hFile = -1;
}

int LockSharedFile(SharedFile *pFile) {
    OVERLAPPED overlapped = MakeOffset(0);
    return LockFileEx(GetHandle(pFile), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD,
                      &overlapped) != 0;
}

int UnlockSharedFile(SharedFile *pFile) {
    OVERLAPPED overlapped = MakeOffset(0);
    return UnlockFileEx(GetHandle(pFile), 0, MAXDWORD, MAXDWORD, &overlapped) != 0;
}

int ReadSharedFile(SharedFile *pFile, char *pch, size_t cchRoom, size_t *pcchRead) {
    size_t cchRead = 0;
    char ch;
    while (cchRead <= cchRoom) {
        char *pchInto = cchRead < cchRoom ? pch + cchRead : &ch;
        DWORD cchAsk = (DWORD)(cchRead < cchRoom ? cchRoom - cchRead : 1);
        OVERLAPPED overlapped = MakeOffset(cchRead);
        DWORD cchGot = 0;
        if (!ReadFile(GetHandle(pFile), pchInto, cchAsk, &cchGot, &overlapped)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return 0;
        }
        if (cchGot == 0) break;
        cchRead += cchGot;
    }
    *pcchRead = cchRead;
    return 1;
}

int RewriteSharedFile(SharedFile *pFile, const char *pch, size_t cch) {
    HANDLE hFile = GetHandle(pFile);
    OVERLAPPED overlapped = MakeOffset(0);
    DWORD cchWritten = 0;
    if (!WriteFile(hFile, pch, (DWORD)cch, &cchWritten, &overlapped) || cchWritten != cch) return 0;
    LARGE_INTEGER end;
    end.QuadPart = (LONGLONG)cch;
    return SetFilePointerEx(hFile, end, NULL, FILE_BEGIN) && SetEndOfFile(hFile) &&
           FlushFileBuffers(hFile);
}

int AppendSharedFile(SharedFile *pFile, const char *pch, size_t cch) {
    DWORD cchWritten = 0;
    if (!WriteFile(GetHandle(pFile), pch, (DWORD)cch, &cchWritten, NULL)) return 0;
    if (cchWritten != cch) SetLastError(ERROR_DISK_FULL);
    return cchWritten == cch;
}

void DescribeFileError(char *pszWords, size_t cchWords) {
    DWORD cch = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                               GetLastError(), 0, pszWords, (DWORD)cchWords, NULL);
    while (cch > 0 &&
           (pszWords[cch - 1] == '\n' || pszWords[cch - 1] == '\r' || pszWords[cch - 1] == '.')) {
        pszWords[--cch] = '\0';
    }
    if (cch == 0) snprintf(pszWords, cchWords, "error %lu", (unsigned long)GetLastError());
}

// COM ports have no links to follow: the full name is enough to tell COM3 from .\COM3.
int ResolveDevicePath(const char *pszName, char *pszResolved, size_t cchResolved) {
    DWORD cch = GetFullPathNameA(pszName, (DWORD)cchResolved, pszResolved, NULL);
    return cch > 0 && cch < cchResolved;
}

int GetHostName(char *pszName, size_t cchName) {
    DWORD cch = (DWORD)cchName;
    if (GetComputerNameA(pszName, &cch)) return 1;
    pszName[0] = '\0';
    return 0;
}
