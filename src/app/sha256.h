// SHA-256 (FIPS 180-4), for the run log's record of which input file a board got.
#pragma once

#include <cstddef>
#include <cstdint>

enum { SHA256_DIGEST_BYTES = 32, SHA256_HEX_ROOM = 65 };

struct Sha256 {
    uint32_t rgdwState[8];
    uint64_t qwBytes;  // hashed so far
    uint8_t rgbBlock[64];
    size_t cbBlock;  // waiting in rgbBlock
};

void BeginSha256(Sha256 *pHash);
void AddSha256Bytes(Sha256 *pHash, const uint8_t *pb, size_t cb);
void EndSha256(Sha256 *pHash, uint8_t rgbDigest[SHA256_DIGEST_BYTES]);

// The digest of pb[0..cb) as 64 lowercase hexadecimal digits.
void FormatSha256(const uint8_t *pb, size_t cb, char szHex[SHA256_HEX_ROOM]);

// The digest of a file's bytes as 64 lowercase hexadecimal digits. Returns 1, or 0 after a
// message naming the file and the system's reason.
int HashFileSha256(const char *pszPath, char szHex[SHA256_HEX_ROOM]);
