// What the production line needs of the system besides the ports: files that several boards'
// runs and several processes share (the serial counter, updated under a lock; the run log,
// appended to whole lines at a time), the real name of a device, and the host's name.
// Implemented once per platform (posix_files.cpp, win32_files.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

enum SharedFileMode {
    SHARED_FILE_UPDATE,  // an existing file, read and rewritten in place
    SHARED_FILE_APPEND,  // written only at its end, made when missing
};

struct SharedFile {
    intptr_t hFile;  // the descriptor or handle; -1 when closed
};

// Opens pszPath for eMode. Returns 1, or 0 with the reason left for DescribeFileError.
int OpenSharedFile(SharedFile *pFile, const char *pszPath, SharedFileMode eMode);
void CloseSharedFile(SharedFile *pFile);

// Takes the file for this process alone against every other process that locks it; waits
// until it can. Threads of one process need a lock of their own besides.
int LockSharedFile(SharedFile *pFile);
int UnlockSharedFile(SharedFile *pFile);

// Reads the file from its start, up to cchRoom bytes, into pch; *pcchRead says how many. A
// file longer than the room reads as the room plus one, so that the caller can tell.
int ReadSharedFile(SharedFile *pFile, char *pch, size_t cchRoom, size_t *pcchRead);

// Makes the file hold exactly pch[0..cch), written from its start and flushed to the disk.
int RewriteSharedFile(SharedFile *pFile, const char *pch, size_t cch);

// Writes pch[0..cch) at the file's end in a single write, so that lines that other processes
// append never fall inside it. A short write fails.
int AppendSharedFile(SharedFile *pFile, const char *pch, size_t cch);

// The system's words for the calling thread's last failure of the functions above.
void DescribeFileError(char *pszWords, size_t cchWords);

// The real name of an existing device or file, links followed. Returns 0 when it does not
// exist or its name does not fit.
int ResolveDevicePath(const char *pszName, char *pszResolved, size_t cchResolved);

// This host's name; "" and 0 when the system does not say.
int GetHostName(char *pszName, size_t cchName);
