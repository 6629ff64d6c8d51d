// The input image: the checks every format shares, the S19 and binary readers, and the walks
// the writers make over it.
#include "program_image.h"

#include <cstring>

#include "hex_digit.h"
#include "image_fill.h"

namespace {

const uint8_t ELF_MAGIC[4] = {0x7F, 'E', 'L', 'F'};

// "<kind> at $XXXX " after the file and the source: the start of every placement message.
void PrintRecordWhere(const ImageFill *pFill, const PlacedRecord *pRecord) {
    PrintImageWhere(pFill->pImage, pRecord->dwWhere);
    fprintf(stderr, "%s at $%04X", pRecord->pszKind, pRecord->wAddress);
}

void EndRecordMessage(const PlacedRecord *pRecord) {
    if (pRecord->pLine != NULL) {
        fputc(' ', stderr);
        PrintSRecordLineText(pRecord->pLine);
    } else {
        fputc('\n', stderr);
    }
}

uint16_t AddressOfByte(const PlacedRecord *pRecord, uint32_t i) {
    return (uint16_t)(pRecord->wAddress + i);
}

// The first refused range a byte of the record lands in, in the record's order.
int CheckRefusedRanges(const ImageFill *pFill, const PlacedRecord *pRecord) {
    const ImageRules *pRules = pFill->pRules;
    for (uint32_t i = 0; i < pRecord->dwLength; i++) {
        uint16_t wAddress = AddressOfByte(pRecord, i);
        for (size_t r = 0; r < pRules->dwRefused; r++) {
            const RefusedRange *pRange = &pRules->prgRefused[r];
            if (wAddress < pRange->wFirst || wAddress > pRange->wLast) continue;
            PrintRecordWhere(pFill, pRecord);
            fprintf(stderr, " writes into $%04X-$%04X, %s", pRange->wFirst, pRange->wLast,
                    pRange->pszWhat);
            EndRecordMessage(pRecord);
            return 0;
        }
    }
    return 1;
}

int IsInsideMap(const ImageRules *pRules, uint16_t wAddress) {
    for (size_t r = 0; r < pRules->dwAllowed; r++) {
        const RefusedRange *pRange = &pRules->prgAllowed[r];
        if (wAddress >= pRange->wFirst && wAddress <= pRange->wLast) return 1;
    }
    return 0;
}

void PrintMap(const ImageRules *pRules) {
    fprintf(stderr, "outside %s (", pRules->pszMapName);
    for (size_t r = 0; r < pRules->dwAllowed; r++) {
        const RefusedRange *pRange = &pRules->prgAllowed[r];
        fprintf(stderr, "%s$%04X-$%04X %s", r == 0 ? "" : ", ", pRange->wFirst, pRange->wLast,
                pRange->pszWhat);
    }
    fputc(')', stderr);
}

int CheckMemoryMap(const ImageFill *pFill, const PlacedRecord *pRecord) {
    const ImageRules *pRules = pFill->pRules;
    if (pRules->dwAllowed == 0) return 1;
    for (uint32_t i = 0; i < pRecord->dwLength; i++) {
        uint16_t wAddress = AddressOfByte(pRecord, i);
        if (IsInsideMap(pRules, wAddress)) continue;
        PrintRecordWhere(pFill, pRecord);
        fprintf(stderr, " writes $%04X, ", wAddress);
        PrintMap(pRules);
        EndRecordMessage(pRecord);
        return 0;
    }
    return 1;
}

// A byte given two values: the file does not say which one the chip should hold.
int CheckSameValues(const ImageFill *pFill, const PlacedRecord *pRecord) {
    const ProgramImage *pImage = pFill->pImage;
    for (uint32_t i = 0; i < pRecord->dwLength; i++) {
        uint16_t wAddress = AddressOfByte(pRecord, i);
        if (pImage->rgbState[wAddress] == BYTE_ABSENT) continue;
        if (pImage->rgbValue[wAddress] == pRecord->pbData[i]) continue;
        char szFirst[80];
        FormatImageSource(pImage, &pImage->rgSource[pImage->rgwSource[wAddress]], szFirst,
                          sizeof szFirst);
        PrintRecordWhere(pFill, pRecord);
        fprintf(stderr, " gives $%04X the value %02X where %s gave %02X", wAddress,
                pRecord->pbData[i], szFirst, pImage->rgbValue[wAddress]);
        EndRecordMessage(pRecord);
        return 0;
    }
    return 1;
}

// A record's bytes past $FFFF would wrap into the talker's RAM: refused in every format.
int CheckInsideAddressSpace(const ImageFill *pFill, const PlacedRecord *pRecord) {
    if ((uint32_t)pRecord->wAddress + pRecord->dwLength <= IMAGE_ADDRESS_SPACE) return 1;
    PrintRecordWhere(pFill, pRecord);
    fputs(" lies beyond $FFFF", stderr);
    EndRecordMessage(pRecord);
    return 0;
}

// Stores the bytes not placed before; the record becomes their source.
void StoreRecord(ProgramImage *pImage, const PlacedRecord *pRecord) {
    uint32_t iSource = pImage->dwSources;
    uint32_t dwNew = 0;
    for (uint32_t i = 0; i < pRecord->dwLength; i++) {
        uint16_t wAddress = AddressOfByte(pRecord, i);
        if (pImage->rgbState[wAddress] != BYTE_ABSENT) continue;
        pImage->rgbState[wAddress] = BYTE_PRESENT;
        pImage->rgbValue[wAddress] = pRecord->pbData[i];
        pImage->rgwSource[wAddress] = (uint16_t)iSource;
        dwNew++;
    }
    if (dwNew == 0) return;  // every byte came before: the record owns none
    pImage->rgSource[iSource].dwWhere = pRecord->dwWhere;
    pImage->rgSource[iSource].wAddress = pRecord->wAddress;
    pImage->dwSources++;
    pImage->dwBytes += dwNew;
}

// The S5 (S6) record's count, read from its address digits, which the line check found hex.
uint32_t CountOfRecord(const SRecordLine *pLine, const SRecord *pRecord) {
    uint32_t dwCount = 0;
    for (unsigned i = 0; i < 2 * AddressBytesOfType(pRecord->wType); i++) {
        dwCount = dwCount * 16 + (uint32_t)HexDigitValue(pLine->szText[4 + i]);
    }
    return dwCount;
}

int CheckRecordCount(const ImageFill *pFill, const SRecordLine *pLine, const SRecord *pRecord) {
    uint32_t dwCount = CountOfRecord(pLine, pRecord);
    if (dwCount == pFill->pImage->dwDataRecords) return 1;
    PrintImageWhere(pFill->pImage, pLine->dwNumber);
    fprintf(stderr, "S%u record counts %u data records, the file holds %u before it ",
            (unsigned)pRecord->wType, (unsigned)dwCount, (unsigned)pFill->pImage->dwDataRecords);
    PrintSRecordLineText(pLine);
    return 0;
}

// One line of S19 text, as the download's walk takes it. Returns 1, or 0 after a message.
int FillS19Line(ImageFill *pFill, const SRecordLine *pLine) {
    SRecord record;
    record.wType = 0;  // stays 0 for a blank line, which the parse skips without a record
    LineKind eKind = ParseSRecordLine(pFill->pImage->pFile, pLine, &record);
    if (eKind == LINE_REFUSED) return 0;
    int fCountRecord = eKind == LINE_SKIPPED && (record.wType == 5 || record.wType == 6);
    if (fCountRecord && !CheckRecordCount(pFill, pLine, &record)) return 0;
    if (eKind != LINE_RECORD || !IsDataRecord(&record)) {
        NoteDatalessLine(pFill);
        return 1;
    }
    pFill->pImage->dwDataRecords++;
    char szKind[16];
    snprintf(szKind, sizeof szKind, "S%u record", (unsigned)record.wType);
    PlacedRecord placed = {pLine->dwNumber, record.wAddress, record.bData,
                           record.wLength,  szKind,          pLine};
    return PlaceImageRecord(pFill, &placed);
}

int FillS19(ImageFill *pFill) {
    const SRecordFile *pFile = pFill->pImage->pFile;
    SRecordLine line;
    StartSRecordLines(&line);
    while (NextSRecordLine(pFile, &line)) {
        if (!FillS19Line(pFill, &line)) return 0;
    }
    // The walk of the text prints one more dot after a last line end.
    if (EndsWithLineEnd(pFile)) NoteDatalessLine(pFill);
    return 1;
}

// The whole file from the base, in blocks that each take a dot, as read-back prints them.
int FillBinary(ImageFill *pFill) {
    const SRecordFile *pFile = pFill->pImage->pFile;
    uint32_t dwBase = pFill->pRules->wBinaryBase;
    if (dwBase + pFile->cchWhole > IMAGE_ADDRESS_SPACE) {
        fprintf(stderr, "File Error: %s holds %zu bytes: from $%04X they run past $FFFF\n",
                pFile->pszName, pFile->cchWhole, (unsigned)dwBase);
        return 0;
    }
    for (uint32_t dwOffset = 0; dwOffset < pFile->cchWhole; dwOffset += BINARY_BLOCK_BYTES) {
        uint32_t dwLeft = (uint32_t)pFile->cchWhole - dwOffset;
        PlacedRecord placed = {dwOffset,
                               (uint16_t)(dwBase + dwOffset),
                               (const uint8_t *)pFile->pchText + dwOffset,
                               dwLeft < BINARY_BLOCK_BYTES ? dwLeft : (uint32_t)BINARY_BLOCK_BYTES,
                               "data",
                               NULL};
        pFill->pImage->dwDataRecords++;
        if (!PlaceImageRecord(pFill, &placed)) return 0;
    }
    return 1;
}

int FillByFormat(ImageFill *pFill) {
    switch (pFill->pImage->eFormat) {
        case IMAGE_INTEL_HEX:
            return FillIntelHex(pFill);
        case IMAGE_ELF:
            return FillElf(pFill);
        case IMAGE_BINARY:
            return FillBinary(pFill);
        default:
            return FillS19(pFill);
    }
}

int IsBlank(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\v' || ch == '\f';
}

// The first character that is no white space, or the text's end.
size_t FirstNonBlank(const SRecordFile *pFile) {
    size_t i = 0;
    while (i < pFile->cchText && IsBlank(pFile->pchText[i])) i++;
    return i;
}

const char *FormatName(ImageFormat eFormat) {
    switch (eFormat) {
        case IMAGE_INTEL_HEX:
            return "an Intel HEX";
        case IMAGE_ELF:
            return "an ELF";
        default:
            return "an S-record";
    }
}

// "--base" takes the file's bytes as they are: a file that is S19, Intel HEX or ELF by its
// content would be programmed as its own text.
int RefuseBaseForFormat(const SRecordFile *pFile, ImageFormat eFormat) {
    fprintf(stderr, "File Error: %s is %s file by its content: --base is for raw binaries only\n",
            pFile->pszName, FormatName(eFormat));
    return 0;
}

}  // namespace

void StartImageFill(ImageFill *pFill, ProgramImage *pImage, const SRecordFile *pFile,
                    const ImageRules *pRules, ImageFormat eFormat) {
    pImage->pFile = pFile;
    pImage->eFormat = eFormat;
    pImage->dwBytes = pImage->dwDataRecords = pImage->dwDots = 0;
    pImage->dwDotsAtStart = pImage->dwSources = 0;
    memset(pImage->rgbState, BYTE_ABSENT, sizeof pImage->rgbState);
    memset(pImage->rgdwDotsAt, 0, sizeof pImage->rgdwDotsAt);
    pFill->pImage = pImage;
    pFill->pRules = pRules;
    pFill->nLastDotAddress = -1;
}

int PlaceImageRecord(ImageFill *pFill, const PlacedRecord *pRecord) {
    if (pRecord->dwLength == 0) {
        NoteDatalessLine(pFill);
        return 1;
    }
    if (!CheckInsideAddressSpace(pFill, pRecord) || !CheckRefusedRanges(pFill, pRecord) ||
        !CheckMemoryMap(pFill, pRecord) || !CheckSameValues(pFill, pRecord)) {
        return 0;
    }
    StoreRecord(pFill->pImage, pRecord);
    uint16_t wLast = (uint16_t)(pRecord->wAddress + pRecord->dwLength - 1);
    pFill->pImage->rgdwDotsAt[wLast]++;
    pFill->pImage->dwDots++;
    pFill->nLastDotAddress = wLast;
    return 1;
}

void NoteDatalessLine(ImageFill *pFill) {
    ProgramImage *pImage = pFill->pImage;
    if (pFill->nLastDotAddress < 0) {
        pImage->dwDotsAtStart++;
    } else {
        pImage->rgdwDotsAt[pFill->nLastDotAddress]++;
    }
    pImage->dwDots++;
}

void PrintImageWhere(const ProgramImage *pImage, uint32_t dwWhere) {
    ImageSource source = {dwWhere, 0};
    char szSource[80];
    FormatImageSource(pImage, &source, szSource, sizeof szSource);
    fprintf(stderr, "%s %s: ", pImage->pFile->pszName, szSource);
}

ImageFormat DetectImageFormat(const SRecordFile *pFile) {
    if (pFile->cchWhole >= sizeof ELF_MAGIC &&
        memcmp(pFile->pchText, ELF_MAGIC, sizeof ELF_MAGIC) == 0) {
        return IMAGE_ELF;
    }
    size_t i = FirstNonBlank(pFile);
    return i < pFile->cchText && pFile->pchText[i] == ':' ? IMAGE_INTEL_HEX : IMAGE_S19;
}

ImageFormat RecognizeImageFormat(const SRecordFile *pFile) {
    ImageFormat eFormat = DetectImageFormat(pFile);
    if (eFormat == IMAGE_ELF) return eFormat;
    size_t i = FirstNonBlank(pFile);
    const char *pch = pFile->pchText + i;
    size_t cchLeft = pFile->cchText - i;
    if (cchLeft >= 3 && pch[0] == ':' && HexDigitValue(pch[1]) >= 0 && HexDigitValue(pch[2]) >= 0)
        return IMAGE_INTEL_HEX;
    if (cchLeft >= 2 && (pch[0] == 'S' || pch[0] == 's') && pch[1] >= '0' && pch[1] <= '9')
        return IMAGE_S19;
    return IMAGE_BINARY;
}

int FillProgramImage(const SRecordFile *pFile, const ImageRules *pRules, ProgramImage *pImage) {
    ImageFill fill;
    ImageFormat eShown = RecognizeImageFormat(pFile);
    if (pRules->fBinary && eShown != IMAGE_BINARY) return RefuseBaseForFormat(pFile, eShown);
    ImageFormat eFormat = pRules->fBinary ? IMAGE_BINARY : DetectImageFormat(pFile);
    StartImageFill(&fill, pImage, pFile, pRules, eFormat);
    if (!FillByFormat(&fill)) {
        if (eShown == IMAGE_BINARY && !pRules->fBinary) {
            fprintf(stderr, "%s is no S19, Intel HEX or ELF file: a raw binary needs --base ADDR\n",
                    pFile->pszName);
        }
        return 0;
    }
    if (pImage->dwBytes != 0 || pRules->fEmptyAllowed) return 1;
    fprintf(stderr, "File Error: %s holds no data records\n", pFile->pszName);
    return 0;
}

int LoadProgramImage(const char *pszName, const ImageRules *pRules, ProgramImage *pImage) {
    static SRecordFile file;
    if (!ReadSRecordFile(pszName, &file)) return 0;
    return FillProgramImage(&file, pRules, pImage);
}

int NextImageRun(const ProgramImage *pImage, const ImageWalk *pWalk, uint32_t dwFrom,
                 ImageRun *pRun) {
    const uint8_t bSkipped = pWalk->fSkipHeld ? (uint8_t)BYTE_HELD : (uint8_t)BYTE_ABSENT;
    uint32_t dwFirst = dwFrom;
    while (dwFirst < IMAGE_ADDRESS_SPACE &&
           (pImage->rgbState[dwFirst] == BYTE_ABSENT || pImage->rgbState[dwFirst] == bSkipped)) {
        dwFirst++;
    }
    if (dwFirst >= IMAGE_ADDRESS_SPACE) return 0;
    uint32_t dwEnd = IMAGE_ADDRESS_SPACE;
    for (size_t b = 0; b < pWalk->dwBounds; b++) {
        if (pWalk->pdwBounds[b] > dwFirst && pWalk->pdwBounds[b] < dwEnd) {
            dwEnd = pWalk->pdwBounds[b];
        }
    }
    if (pWalk->dwMaxLength != 0 && dwFirst + pWalk->dwMaxLength < dwEnd) {
        dwEnd = dwFirst + pWalk->dwMaxLength;
    }
    uint32_t dwLast = dwFirst + 1;
    while (dwLast < dwEnd && pImage->rgbState[dwLast] != BYTE_ABSENT &&
           pImage->rgbState[dwLast] != bSkipped) {
        dwLast++;
    }
    pRun->wFirst = (uint16_t)dwFirst;
    pRun->dwLength = dwLast - dwFirst;
    return 1;
}

uint32_t ImageDotsIn(const ProgramImage *pImage, uint32_t dwFrom, uint32_t dwEnd) {
    uint32_t dwDots = dwFrom == 0 ? pImage->dwDotsAtStart : 0;
    for (uint32_t a = dwFrom; a < dwEnd && a < IMAGE_ADDRESS_SPACE; a++) {
        dwDots += pImage->rgdwDotsAt[a];
    }
    return dwDots;
}

uint32_t MarkImageBytesHeld(ProgramImage *pImage, uint16_t wFirst, const uint8_t *pbChip,
                            uint32_t dwLength) {
    uint32_t dwHeld = 0;
    for (uint32_t i = 0; i < dwLength && wFirst + i < IMAGE_ADDRESS_SPACE; i++) {
        uint32_t a = wFirst + i;
        if (pImage->rgbState[a] == BYTE_ABSENT || pImage->rgbValue[a] != pbChip[i]) continue;
        pImage->rgbState[a] = BYTE_HELD;
        dwHeld++;
    }
    return dwHeld;
}

const ImageSource *ImageSourceOf(const ProgramImage *pImage, uint16_t wAddress) {
    if (pImage->rgbState[wAddress] == BYTE_ABSENT) return NULL;
    return &pImage->rgSource[pImage->rgwSource[wAddress]];
}

void FormatImageSource(const ProgramImage *pImage, const ImageSource *pSource, char *pszText,
                       size_t cchText) {
    switch (pImage->eFormat) {
        case IMAGE_ELF:
            FormatElfSection(pImage->pFile, pSource->dwWhere, pszText, cchText);
            break;
        case IMAGE_BINARY:
            snprintf(pszText, cchText, "offset $%04X", (unsigned)pSource->dwWhere);
            break;
        default:
            snprintf(pszText, cchText, "line %u", (unsigned)pSource->dwWhere);
    }
}
