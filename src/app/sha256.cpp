#include "sha256.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t RotateRight(uint32_t dw, int nBits) {
    return (dw >> nBits) | (dw << (32 - nBits));
}

void ExpandSchedule(const uint8_t *pbBlock, uint32_t rgdwW[64]) {
    for (int i = 0; i < 16; i++) {
        rgdwW[i] = (uint32_t)pbBlock[4 * i] << 24 | (uint32_t)pbBlock[4 * i + 1] << 16 |
                   (uint32_t)pbBlock[4 * i + 2] << 8 | pbBlock[4 * i + 3];
    }
    for (int i = 16; i < 64; i++) {
        uint32_t dwS0 =
            RotateRight(rgdwW[i - 15], 7) ^ RotateRight(rgdwW[i - 15], 18) ^ (rgdwW[i - 15] >> 3);
        uint32_t dwS1 =
            RotateRight(rgdwW[i - 2], 17) ^ RotateRight(rgdwW[i - 2], 19) ^ (rgdwW[i - 2] >> 10);
        rgdwW[i] = rgdwW[i - 16] + dwS0 + rgdwW[i - 7] + dwS1;
    }
}

void CompressBlock(uint32_t rgdwState[8], const uint8_t *pbBlock) {
    uint32_t rgdwW[64];
    ExpandSchedule(pbBlock, rgdwW);
    uint32_t v[8];
    memcpy(v, rgdwState, sizeof v);
    for (int i = 0; i < 64; i++) {
        uint32_t dwS1 = RotateRight(v[4], 6) ^ RotateRight(v[4], 11) ^ RotateRight(v[4], 25);
        uint32_t dwChoose = (v[4] & v[5]) ^ (~v[4] & v[6]);
        uint32_t dwT1 = v[7] + dwS1 + dwChoose + kRoundConstants[i] + rgdwW[i];
        uint32_t dwS0 = RotateRight(v[0], 2) ^ RotateRight(v[0], 13) ^ RotateRight(v[0], 22);
        uint32_t dwMajority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        memmove(v + 1, v, 7 * sizeof v[0]);
        v[4] += dwT1;
        v[0] = dwT1 + dwS0 + dwMajority;
    }
    for (int i = 0; i < 8; i++) rgdwState[i] += v[i];
}

void FormatDigest(const uint8_t rgbDigest[SHA256_DIGEST_BYTES], char szHex[SHA256_HEX_ROOM]) {
    for (int i = 0; i < SHA256_DIGEST_BYTES; i++) {
        snprintf(szHex + 2 * i, 3, "%02x", (unsigned)rgbDigest[i]);
    }
}

}  // namespace

void BeginSha256(Sha256 *pHash) {
    static const uint32_t kInitialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    memcpy(pHash->rgdwState, kInitialState, sizeof kInitialState);
    pHash->qwBytes = 0;
    pHash->cbBlock = 0;
}

void AddSha256Bytes(Sha256 *pHash, const uint8_t *pb, size_t cb) {
    pHash->qwBytes += cb;
    while (cb > 0) {
        size_t cbTake = sizeof pHash->rgbBlock - pHash->cbBlock;
        if (cbTake > cb) cbTake = cb;
        memcpy(pHash->rgbBlock + pHash->cbBlock, pb, cbTake);
        pHash->cbBlock += cbTake;
        pb += cbTake;
        cb -= cbTake;
        if (pHash->cbBlock == sizeof pHash->rgbBlock) {
            CompressBlock(pHash->rgdwState, pHash->rgbBlock);
            pHash->cbBlock = 0;
        }
    }
}

// The padding: a 1 bit, zeros up to 8 bytes short of a block, the length in bits.
void EndSha256(Sha256 *pHash, uint8_t rgbDigest[SHA256_DIGEST_BYTES]) {
    uint64_t qwBits = pHash->qwBytes * 8;
    static const uint8_t kFirstPad = 0x80;
    static const uint8_t kZero = 0;
    AddSha256Bytes(pHash, &kFirstPad, 1);
    while (pHash->cbBlock != 56) AddSha256Bytes(pHash, &kZero, 1);
    uint8_t rgbLength[8];
    for (int i = 0; i < 8; i++) rgbLength[i] = (uint8_t)(qwBits >> (56 - 8 * i));
    AddSha256Bytes(pHash, rgbLength, sizeof rgbLength);
    for (int i = 0; i < 8; i++) {
        for (int j = 0; j < 4; j++) {
            rgbDigest[4 * i + j] = (uint8_t)(pHash->rgdwState[i] >> (24 - 8 * j));
        }
    }
}

void FormatSha256(const uint8_t *pb, size_t cb, char szHex[SHA256_HEX_ROOM]) {
    Sha256 hash;
    uint8_t rgbDigest[SHA256_DIGEST_BYTES];
    BeginSha256(&hash);
    AddSha256Bytes(&hash, pb, cb);
    EndSha256(&hash, rgbDigest);
    FormatDigest(rgbDigest, szHex);
}

int HashFileSha256(const char *pszPath, char szHex[SHA256_HEX_ROOM]) {
    FILE *pFile = fopen(pszPath, "rb");
    if (pFile == NULL) {
        fprintf(stderr, "%s: %s\n", pszPath, strerror(errno));
        return 0;
    }
    Sha256 hash;
    BeginSha256(&hash);
    uint8_t rgbChunk[4096];
    size_t cbRead;
    while ((cbRead = fread(rgbChunk, 1, sizeof rgbChunk, pFile)) > 0) {
        AddSha256Bytes(&hash, rgbChunk, cbRead);
    }
    int fFailed = ferror(pFile);
    int nError = errno;
    fclose(pFile);
    if (fFailed) {
        fprintf(stderr, "%s: %s\n", pszPath, strerror(nError));
        return 0;
    }
    uint8_t rgbDigest[SHA256_DIGEST_BYTES];
    EndSha256(&hash, rgbDigest);
    FormatDigest(rgbDigest, szHex);
    return 1;
}
