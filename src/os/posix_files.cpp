// Shared files, device names and the host name on Linux and macOS.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

#include "os_files.h"

namespace {

int GetDescriptor(const SharedFile *pFile) {
    return (int)pFile->hFile;
}

}  // namespace

int OpenSharedFile(SharedFile *pFile, const char *pszPath, SharedFileMode eMode) {
    int nFlags = eMode == SHARED_FILE_UPDATE ? O_RDWR : O_WRONLY | O_APPEND | O_CREAT;
    int fd = open(pszPath, nFlags | O_CLOEXEC, 0666);
    pFile->hFile = fd;
    return fd >= 0;
}

void CloseSharedFile(SharedFile *pFile) {
    if (pFile->hFile >= 0) close(GetDescriptor(pFile));
    pFile->hFile = -1;
}

// flock, not fcntl's locks: those belong to the process and one close of any descriptor of
// the file would drop them.
int LockSharedFile(SharedFile *pFile) {
    int nResult;
    do {
        nResult = flock(GetDescriptor(pFile), LOCK_EX);
    } while (nResult != 0 && errno == EINTR);
    return nResult == 0;
}

int UnlockSharedFile(SharedFile *pFile) {
    return flock(GetDescriptor(pFile), LOCK_UN) == 0;
}

int ReadSharedFile(SharedFile *pFile, char *pch, size_t cchRoom, size_t *pcchRead) {
    size_t cchRead = 0;
    char ch;
    while (cchRead <= cchRoom) {
        char *pchInto = cchRead < cchRoom ? pch + cchRead : &ch;
        size_t cchAsk = cchRead < cchRoom ? cchRoom - cchRead : 1;
        ssize_t n = pread(GetDescriptor(pFile), pchInto, cchAsk, (off_t)cchRead);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return 0;
        if (n == 0) break;
        cchRead += (size_t)n;
    }
    *pcchRead = cchRead;
    return 1;
}

int RewriteSharedFile(SharedFile *pFile, const char *pch, size_t cch) {
    int fd = GetDescriptor(pFile);
    size_t cchDone = 0;
    while (cchDone < cch) {
        ssize_t n = pwrite(fd, pch + cchDone, cch - cchDone, (off_t)cchDone);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        cchDone += (size_t)n;
    }
    return ftruncate(fd, (off_t)cch) == 0 && fsync(fd) == 0;
}

int AppendSharedFile(SharedFile *pFile, const char *pch, size_t cch) {
    ssize_t n;
    do {
        n = write(GetDescriptor(pFile), pch, cch);
    } while (n < 0 && errno == EINTR);
    // A regular file is written short only when the disk is full.
    if (n >= 0 && (size_t)n != cch) errno = ENOSPC;
    return n >= 0 && (size_t)n == cch;
}

void DescribeFileError(char *pszWords, size_t cchWords) {
    snprintf(pszWords, cchWords, "%s", strerror(errno));
}

int ResolveDevicePath(const char *pszName, char *pszResolved, size_t cchResolved) {
    char szReal[PATH_MAX];
    if (realpath(pszName, szReal) == NULL || strlen(szReal) >= cchResolved) return 0;
    strcpy(pszResolved, szReal);
    return 1;
}

int GetHostName(char *pszName, size_t cchName) {
    if (gethostname(pszName, cchName) != 0) {
        pszName[0] = '\0';
        return 0;
    }
    pszName[cchName - 1] = '\0';
    return 1;
}
