// The input file as the bytes it puts into the 68HC11's 64 KB, whatever its format: S19,
// Intel HEX, ELF (recognised by content) or a raw binary at a base address the caller gives.
// The whole file is read and checked before anything uses it; then the writers walk runs of
// present bytes in address order, and each byte still knows the line (or ELF section) it came
// from, for messages, and when its line's progress dot is due. Fixed-size storage only: the
// caller keeps one image (about 1 MB, static, never on the stack).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "srec_file.h"

enum { IMAGE_ADDRESS_SPACE = 0x10000, BINARY_BLOCK_BYTES = 32 };

enum ImageFormat { IMAGE_S19, IMAGE_INTEL_HEX, IMAGE_ELF, IMAGE_BINARY };

// What the file's bytes must respect, and what the caller allows.
struct ImageRules {
    const RefusedRange *prgRefused;  // no byte may land here (talker RAM, registers)
    size_t dwRefused;
    const RefusedRange *prgAllowed;  // the part's memory map: a byte outside all is refused
    size_t dwAllowed;                // 0: no map, every address allowed (-E)
    const char *pszMapName;          // names the map in messages: "the E9's memory map"
    int fBinary;                     // take the file as raw bytes from wBinaryBase (--base)
    uint16_t wBinaryBase;
    int fEmptyAllowed;  // a file without data is no error (-B or -r give the run work)
};

// Where a byte came from: the record that gave it its value first.
struct ImageSource {
    uint32_t dwWhere;   // S19, Intel HEX: the line from 1; ELF: the section's index;
                        // binary: the offset of its block of BINARY_BLOCK_BYTES in the file
    uint16_t wAddress;  // the record's (section's, block's) first address
};

enum ImageByte { BYTE_ABSENT = 0, BYTE_PRESENT = 1, BYTE_HELD = 2 };

struct ProgramImage {
    const SRecordFile *pFile;  // the text or bytes it was filled from, for messages
    ImageFormat eFormat;
    uint32_t dwBytes;        // present bytes
    uint32_t dwDataRecords;  // S1-S3, Intel 00 records; ELF sections and binary blocks loaded
    uint32_t dwDots;         // progress dots of the whole file: one per line, as the walk of
                             // the text prints them (one per ELF section, per binary block)
    uint32_t dwDotsAtStart;  // of them, lines before the first line with data
    uint32_t dwSources;
    uint8_t rgbValue[IMAGE_ADDRESS_SPACE];
    uint8_t rgbState[IMAGE_ADDRESS_SPACE];      // an ImageByte
    uint16_t rgwSource[IMAGE_ADDRESS_SPACE];    // index into rgSource, for a present byte
    uint32_t rgdwDotsAt[IMAGE_ADDRESS_SPACE];   // dots due once bytes up to here were sent
    ImageSource rgSource[IMAGE_ADDRESS_SPACE];  // each owns at least one byte
};

// Reads the file (ReadSRecordFile: one buffer, replaced by the next read) and fills the image.
// Returns 1, or 0 after one message on standard error naming the file and its line (or ELF
// section). Prints no run outcome.
int LoadProgramImage(const char *pszName, const ImageRules *pRules, ProgramImage *pImage);

// Fills the image from a file already in memory: every rule of LoadProgramImage.
int FillProgramImage(const SRecordFile *pFile, const ImageRules *pRules, ProgramImage *pImage);

// The format the file's content shows: ELF by its magic, Intel HEX by a ':' as the first
// character that is not white space, S19 otherwise (and for an empty file).
ImageFormat DetectImageFormat(const SRecordFile *pFile);

// The format the content shows beyond doubt, IMAGE_BINARY when it is none: ELF by its magic,
// Intel HEX by a ':' and two hex digits, S19 by an 'S' (or 's') and a type digit, each as the
// first characters that are not white space. "--base" is refused for the three, and a file
// that is none of them and fails as S19 gets a word on "--base".
ImageFormat RecognizeImageFormat(const SRecordFile *pFile);

// A run of bytes at consecutive addresses, all present (and not held, when the walk skips
// held bytes). dwLength is at least 1.
struct ImageRun {
    uint16_t wFirst;
    uint32_t dwLength;
};

// How a walk cuts the image into runs.
struct ImageWalk {
    const uint32_t *pdwBounds;  // no run crosses these addresses (a run ends before each):
    size_t dwBounds;            //   e.g. the EEPROM's start and end + 1; 65536 always holds
    uint32_t dwMaxLength;       // the longest run, 0 for no limit
    int fSkipHeld;              // leave out bytes that MarkImageBytesHeld marked
};

// The first run at or after dwFrom (up to 65536). Returns 0 when there is none. A download:
//   for (dw = 0; NextImageRun(pImage, &walk, dw, &run); dw = run.wFirst + run.dwLength)
//       send rgbValue[run.wFirst...] as one block, a dot for each of ImageDotsIn(...);
// a mismatch names its line with ImageSourceOf and FormatImageSource.
int NextImageRun(const ProgramImage *pImage, const ImageWalk *pWalk, uint32_t dwFrom,
                 ImageRun *pRun);

// The dots that come due once every present byte in [dwFrom, dwEnd) has been sent, for a walk
// in address order: the first call starts at 0 (and adds dwDotsAtStart), the last ends at
// 65536, and together they count dwDots.
uint32_t ImageDotsIn(const ProgramImage *pImage, uint32_t dwFrom, uint32_t dwEnd);

// Reprogramming: marks the present bytes in [wFirst, wFirst + dwLength) whose value the chip
// already holds (pbChip, read from there) as held, so that a walk that skips them leaves them
// out. Returns how many bytes it marked.
uint32_t MarkImageBytesHeld(ProgramImage *pImage, uint16_t wFirst, const uint8_t *pbChip,
                            uint32_t dwLength);

// Where the byte at wAddress came from, or NULL when the image has no byte there.
const ImageSource *ImageSourceOf(const ProgramImage *pImage, uint16_t wAddress);

// Writes "line 12", "section .text" or "offset $0040" into pszText (always terminated).
void FormatImageSource(const ProgramImage *pImage, const ImageSource *pSource, char *pszText,
                       size_t cchText);

// Read-back output, by the output name's extension: ".hex" and ".ihx" Intel HEX, ".bin" raw
// bytes from the range's start, anything else S19 (".s19", ".srec", ".mot").
enum OutputFormat { OUTPUT_S19, OUTPUT_INTEL_HEX, OUTPUT_BINARY };

OutputFormat OutputFormatOfName(const char *pszName);

// Writes dwLength bytes (1 to 65536) read from wFirst in the format: S19 as an S0 record of
// pszHeader, S1 lines of 32 bytes and S9; Intel HEX as data records of 32 bytes and the end
// record; binary as the bytes alone. Open the file in binary mode ("wb"). Returns 1, or 0 on a
// write error (no message: the caller names the file).
int WriteOutputFile(FILE *pFile, OutputFormat eFormat, uint16_t wFirst, const uint8_t *pbData,
                    uint32_t dwLength, const char *pszHeader);
