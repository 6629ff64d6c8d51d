// Intel HEX input: ":" count, address, type, data and checksum as hex digit pairs, one record
// a line. Data (00) and the end (01) records, the segment (02) and linear (04) bases as long
// as every byte stays inside 16 bits, and the start addresses (03, 05), which the run does not
// use, as S9 is passed over.
#include <cstring>

#include "hex_digit.h"
#include "image_fill.h"

namespace {

enum {
    TYPE_DATA = 0x00,
    TYPE_END = 0x01,
    TYPE_SEGMENT_BASE = 0x02,
    TYPE_SEGMENT_START = 0x03,
    TYPE_LINEAR_BASE = 0x04,
    TYPE_LINEAR_START = 0x05,
    // Count, two address bytes, type and checksum.
    RECORD_OVERHEAD = 5,
    DATA_ROOM = 255
};

struct IntelRecord {
    uint8_t bCount, bType;
    uint16_t wOffset;
    uint8_t rgbData[DATA_ROOM];
};

// Where the walk is: the base that 02 and 04 records set, whether the end came, and the last
// line that was not blank (a file cut short is named by it).
struct IntelWalk {
    uint32_t dwBase;
    uint32_t dwEndLine;  // the end record's line, 0 before it
    SRecordLine lastLine;
};

int RefuseLine(const ProgramImage *pImage, const SRecordLine *pLine, const char *pszWhy) {
    PrintImageWhere(pImage, pLine->dwNumber);
    fprintf(stderr, "%s ", pszWhy);
    PrintSRecordLineText(pLine);
    return 0;
}

// The byte at pair i after the colon, or -1 when either character is no hex digit.
int PairAt(const SRecordLine *pLine, size_t i) {
    int nHigh = HexDigitValue(pLine->szText[1 + 2 * i]),
        nLow = HexDigitValue(pLine->szText[2 + 2 * i]);
    return nHigh < 0 || nLow < 0 ? -1 : nHigh * 16 + nLow;
}

// Reads the record's digit pairs, strictly: every one a hex pair, the checksum right, and no
// hex digit after it (other text there is ignored, as in S19 files).
int DecodeRecord(const ProgramImage *pImage, const SRecordLine *pLine, IntelRecord *pRecord) {
    if (pLine->szText[0] != ':') return RefuseLine(pImage, pLine, "is no Intel HEX record");
    int nCount = pLine->cchText >= 3 ? PairAt(pLine, 0) : -1;
    if (nCount < 0) return RefuseLine(pImage, pLine, "has no count after the colon");
    size_t dwPairs = (size_t)nCount + RECORD_OVERHEAD;
    if (pLine->cchText < 1 + 2 * dwPairs) return RefuseLine(pImage, pLine, "is cut short");
    if (pLine->cchText > 1 + 2 * dwPairs && HexDigitValue(pLine->szText[1 + 2 * dwPairs]) >= 0) {
        return RefuseLine(pImage, pLine, "goes on in hex digits after its checksum");
    }
    unsigned dwSum = 0;
    uint8_t rgbPairs[DATA_ROOM + RECORD_OVERHEAD];
    for (size_t i = 0; i < dwPairs; i++) {
        int nByte = PairAt(pLine, i);
        if (nByte < 0) return RefuseLine(pImage, pLine, "holds a character that is no hex digit");
        rgbPairs[i] = (uint8_t)nByte;
        dwSum += (unsigned)nByte;
    }
    if ((dwSum & 0xFF) != 0) return RefuseLine(pImage, pLine, "has a wrong checksum");
    pRecord->bCount = (uint8_t)nCount;
    pRecord->wOffset = (uint16_t)(rgbPairs[1] << 8 | rgbPairs[2]);
    pRecord->bType = rgbPairs[3];
    memcpy(pRecord->rgbData, rgbPairs + 4, (size_t)nCount);
    return 1;
}

int PlaceData(ImageFill *pFill, const SRecordLine *pLine, const IntelRecord *pRecord,
              const IntelWalk *pWalk) {
    uint32_t dwAddress = pWalk->dwBase + pRecord->wOffset;
    if (dwAddress + pRecord->bCount > IMAGE_ADDRESS_SPACE) {
        PrintImageWhere(pFill->pImage, pLine->dwNumber);
        fprintf(stderr, "data record at $%05X lies beyond $FFFF ", (unsigned)dwAddress);
        PrintSRecordLineText(pLine);
        return 0;
    }
    PlacedRecord placed = {pLine->dwNumber, (uint16_t)dwAddress, pRecord->rgbData,
                           pRecord->bCount, "data record",       pLine};
    pFill->pImage->dwDataRecords++;
    return PlaceImageRecord(pFill, &placed);
}

int CheckCount(const ProgramImage *pImage, const SRecordLine *pLine, const IntelRecord *pRecord,
               unsigned dwExpected) {
    if (pRecord->bCount == dwExpected) return 1;
    PrintImageWhere(pImage, pLine->dwNumber);
    fprintf(stderr, "record of type %02X has count %u, %u expected ", pRecord->bType,
            (unsigned)pRecord->bCount, dwExpected);
    PrintSRecordLineText(pLine);
    return 0;
}

// The 16-bit value of a base record, whose count was checked to be 2.
uint32_t BaseValue(const IntelRecord *pRecord) {
    return (uint32_t)(pRecord->rgbData[0] << 8 | pRecord->rgbData[1]);
}

int TakeRecord(ImageFill *pFill, const SRecordLine *pLine, const IntelRecord *pRecord,
               IntelWalk *pWalk) {
    const ProgramImage *pImage = pFill->pImage;
    switch (pRecord->bType) {
        case TYPE_DATA:
            return PlaceData(pFill, pLine, pRecord, pWalk);
        case TYPE_END:
            pWalk->dwEndLine = pLine->dwNumber;
            break;
        case TYPE_SEGMENT_BASE:
            if (!CheckCount(pImage, pLine, pRecord, 2)) return 0;
            pWalk->dwBase = BaseValue(pRecord) << 4;
            break;
        case TYPE_LINEAR_BASE:
            if (!CheckCount(pImage, pLine, pRecord, 2)) return 0;
            pWalk->dwBase = BaseValue(pRecord) << 16;
            break;
        case TYPE_SEGMENT_START:
        case TYPE_LINEAR_START:
            if (!CheckCount(pImage, pLine, pRecord, 4)) return 0;
            break;
        default:
            return RefuseLine(pImage, pLine, "is of a record type that is not 00 to 05");
    }
    NoteDatalessLine(pFill);
    return 1;
}

int FillLine(ImageFill *pFill, const SRecordLine *pLine, IntelWalk *pWalk) {
    const ProgramImage *pImage = pFill->pImage;
    if (pLine->cchText == 0) {
        NoteDatalessLine(pFill);
        return 1;
    }
    if (pLine->cchText >= SRECORD_TEXT_ROOM) {
        return RefuseLine(pImage, pLine, "Line too long for an Intel HEX record");
    }
    if (pLine->fHasCarriageReturn) {
        return RefuseLine(
            pImage, pLine,
            "Carriage return inside a line: the file's lines must end in LF or CR LF");
    }
    if (pWalk->dwEndLine != 0) {
        char szWhy[64];
        snprintf(szWhy, sizeof szWhy, "follows the end record of line %u",
                 (unsigned)pWalk->dwEndLine);
        return RefuseLine(pImage, pLine, szWhy);
    }
    pWalk->lastLine = *pLine;
    IntelRecord record;
    return DecodeRecord(pImage, pLine, &record) && TakeRecord(pFill, pLine, &record, pWalk);
}

// The end record is the format's own mark of a whole file: without it the file may have been
// cut short, its image only in part.
int CheckEndRecord(const ProgramImage *pImage, const IntelWalk *pWalk) {
    if (pWalk->dwEndLine != 0) return 1;
    return RefuseLine(pImage, &pWalk->lastLine,
                      "is the last line, and no end record (:00000001FF) came: the file is cut "
                      "short");
}

}  // namespace

int FillIntelHex(ImageFill *pFill) {
    const SRecordFile *pFile = pFill->pImage->pFile;
    IntelWalk walk = {};
    SRecordLine line;
    StartSRecordLines(&line);
    while (NextSRecordLine(pFile, &line)) {
        if (!FillLine(pFill, &line, &walk)) return 0;
    }
    if (EndsWithLineEnd(pFile)) NoteDatalessLine(pFill);
    return CheckEndRecord(pFill->pImage, &walk);
}
