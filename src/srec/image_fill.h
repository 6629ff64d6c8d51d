// How the readers of each format fill a ProgramImage: one record's bytes at a time, every rule
// checked in one place. Private to src/srec.
#pragma once

#include "program_image.h"

// A filling in progress: the image, the caller's rules, and where the last line's dot went.
struct ImageFill {
    ProgramImage *pImage;
    const ImageRules *pRules;
    int32_t nLastDotAddress;  // where the last line with data put its dot; -1 before one
};

// One record's bytes and how a message names them: "<file> <source>: <pszKind> at $XXXX ..."
// followed by the line's text when pLine is not NULL.
struct PlacedRecord {
    uint32_t dwWhere;  // line, section index or file offset, as ImageSource::dwWhere
    uint16_t wAddress;
    const uint8_t *pbData;
    uint32_t dwLength;  // a record that runs past $FFFF is refused, in every format
    const char *pszKind;
    const SRecordLine *pLine;
};

void StartImageFill(ImageFill *pFill, ProgramImage *pImage, const SRecordFile *pFile,
                    const ImageRules *pRules, ImageFormat eFormat);

// Checks the record against the refused ranges, the memory map and the bytes placed before,
// then stores it and puts its dot after its last byte. Returns 1, or 0 after one message.
int PlaceImageRecord(ImageFill *pFill, const PlacedRecord *pRecord);

// A line without data bytes: its dot goes with the last line that had data.
void NoteDatalessLine(ImageFill *pFill);

// Prints "<file> <source>: " for the source dwWhere of the image's format.
void PrintImageWhere(const ProgramImage *pImage, uint32_t dwWhere);

// The readers of the formats besides S19.
int FillIntelHex(ImageFill *pFill);
int FillElf(ImageFill *pFill);

// "section NAME" for the ELF file's section of that index (its name's control characters as
// \xHH, a long name cut), always terminated.
void FormatElfSection(const SRecordFile *pFile, uint32_t dwIndex, char *pszText, size_t cchText);
