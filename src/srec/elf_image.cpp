// ELF input, 32-bit big-endian as the 68HC11 linker writes it: the allocated sections that
// hold contents, each at its load address, as "objcopy -O srec" takes them. Not the program
// headers' whole segments: the linker may start a segment with the file's own headers, mapped
// below the code, and those bytes are no part of the program.
#include <cstring>

#include "image_fill.h"

namespace {

enum {
    HEADER_SIZE = 52,
    CLASS_32 = 1,
    DATA_BIG_ENDIAN = 2,
    MACHINE_68HC11 = 70,
    SECTION_HEADER_SIZE = 40,
    PROGRAM_HEADER_SIZE = 32,
    SECTION_NULL = 0,
    SECTION_NOBITS = 8,
    SECTION_ALLOC = 0x2,
    SEGMENT_LOAD = 1,
    NAME_SHOWN = 40
};

struct ElfSection {
    uint32_t dwName, dwType, dwFlags, dwAddress, dwOffset, dwSize;
};

struct ElfSegment {
    uint32_t dwType, dwOffset, dwVirtual, dwPhysical, dwFileSize, dwMemorySize;
};

// The table of section or program headers: where it starts, how many, each how large.
struct ElfTable {
    uint32_t dwOffset, dwCount, dwEntrySize;
};

uint32_t Be32(const uint8_t *pb) {
    return (uint32_t)pb[0] << 24 | (uint32_t)pb[1] << 16 | (uint32_t)pb[2] << 8 | pb[3];
}

uint16_t Be16(const uint8_t *pb) {
    return (uint16_t)(pb[0] << 8 | pb[1]);
}

const uint8_t *FileBytes(const SRecordFile *pFile) {
    return (const uint8_t *)pFile->pchText;
}

int FitsFile(const SRecordFile *pFile, uint64_t qwOffset, uint64_t qwLength) {
    return qwOffset + qwLength <= pFile->cchWhole;
}

int TableFits(const SRecordFile *pFile, const ElfTable *pTable, uint32_t dwEntrySize) {
    if (pTable->dwCount == 0) return 1;
    return pTable->dwEntrySize >= dwEntrySize &&
           FitsFile(pFile, pTable->dwOffset, (uint64_t)pTable->dwCount * pTable->dwEntrySize);
}

void ReadTables(const SRecordFile *pFile, ElfTable *pSections, ElfTable *pSegments) {
    const uint8_t *pb = FileBytes(pFile);
    *pSegments = {Be32(pb + 28), Be16(pb + 44), Be16(pb + 42)};
    *pSections = {Be32(pb + 32), Be16(pb + 48), Be16(pb + 46)};
}

ElfSection SectionAt(const SRecordFile *pFile, const ElfTable *pTable, uint32_t i) {
    const uint8_t *pb = FileBytes(pFile) + pTable->dwOffset + (uint64_t)i * pTable->dwEntrySize;
    return {Be32(pb), Be32(pb + 4), Be32(pb + 8), Be32(pb + 12), Be32(pb + 16), Be32(pb + 20)};
}

ElfSegment SegmentAt(const SRecordFile *pFile, const ElfTable *pTable, uint32_t i) {
    const uint8_t *pb = FileBytes(pFile) + pTable->dwOffset + (uint64_t)i * pTable->dwEntrySize;
    return {Be32(pb), Be32(pb + 4), Be32(pb + 8), Be32(pb + 12), Be32(pb + 16), Be32(pb + 20)};
}

int RefuseFile(const SRecordFile *pFile, const char *pszWhy) {
    fprintf(stderr, "File Error: %s %s\n", pFile->pszName, pszWhy);
    return 0;
}

int CheckHeader(const SRecordFile *pFile) {
    const uint8_t *pb = FileBytes(pFile);
    if (pFile->cchWhole < HEADER_SIZE) return RefuseFile(pFile, "is an ELF file cut short");
    if (pb[4] != CLASS_32 || pb[5] != DATA_BIG_ENDIAN) {
        return RefuseFile(pFile, "is an ELF file but not 32-bit big-endian, as 68HC11 ones are");
    }
    if (Be16(pb + 18) != MACHINE_68HC11) {
        fprintf(stderr, "File Error: %s is an ELF file for machine %u, not the 68HC11 (%u)\n",
                pFile->pszName, (unsigned)Be16(pb + 18), (unsigned)MACHINE_68HC11);
        return 0;
    }
    ElfTable sections, segments;
    ReadTables(pFile, &sections, &segments);
    if (!TableFits(pFile, &sections, SECTION_HEADER_SIZE) ||
        !TableFits(pFile, &segments, PROGRAM_HEADER_SIZE)) {
        return RefuseFile(pFile, "is an ELF file whose header tables lie beyond its end");
    }
    return 1;
}

// objcopy's rule: a section inside a loaded segment's file image is loaded where the segment's
// physical address puts it; any other at its own address.
uint64_t LoadAddressOf(const SRecordFile *pFile, const ElfSection *pSection) {
    ElfTable sections, segments;
    ReadTables(pFile, &sections, &segments);
    for (uint32_t i = 0; i < segments.dwCount; i++) {
        ElfSegment segment = SegmentAt(pFile, &segments, i);
        if (segment.dwType != SEGMENT_LOAD) continue;
        if (pSection->dwOffset < segment.dwOffset) continue;
        if ((uint64_t)pSection->dwOffset + pSection->dwSize >
            (uint64_t)segment.dwOffset + segment.dwFileSize) {
            continue;
        }
        if (pSection->dwAddress < segment.dwVirtual ||
            (uint64_t)pSection->dwAddress + pSection->dwSize >
                (uint64_t)segment.dwVirtual + segment.dwMemorySize) {
            continue;
        }
        return (uint64_t)segment.dwPhysical + (pSection->dwOffset - segment.dwOffset);
    }
    return pSection->dwAddress;
}

int RefuseSection(const ProgramImage *pImage, uint32_t dwIndex, const char *pszWhy,
                  uint64_t qwAddress) {
    PrintImageWhere(pImage, dwIndex);
    fprintf(stderr, pszWhy, (unsigned long long)qwAddress);
    fputc('\n', stderr);
    return 0;
}

int PlaceSection(ImageFill *pFill, uint32_t dwIndex, const ElfSection *pSection) {
    const SRecordFile *pFile = pFill->pImage->pFile;
    if (!FitsFile(pFile, pSection->dwOffset, pSection->dwSize)) {
        return RefuseSection(pFill->pImage, dwIndex,
                             "contents for $%04llX lie beyond the file's end", pSection->dwAddress);
    }
    uint64_t qwLoad = LoadAddressOf(pFile, pSection);
    if (qwLoad + pSection->dwSize > IMAGE_ADDRESS_SPACE) {
        return RefuseSection(pFill->pImage, dwIndex, "loaded at $%04llX lies beyond $FFFF", qwLoad);
    }
    PlacedRecord placed = {
        dwIndex,          (uint16_t)qwLoad, FileBytes(pFile) + pSection->dwOffset,
        pSection->dwSize, "data",           NULL};
    pFill->pImage->dwDataRecords++;
    return PlaceImageRecord(pFill, &placed);
}

int IsLoadedSection(const ElfSection *pSection) {
    return pSection->dwType != SECTION_NULL && pSection->dwType != SECTION_NOBITS &&
           (pSection->dwFlags & SECTION_ALLOC) != 0 && pSection->dwSize != 0;
}

void AppendShown(char *pszText, size_t cchText, const uint8_t *pbName, size_t cchName) {
    size_t cchUsed = strlen(pszText);
    for (size_t i = 0; i < cchName && i < NAME_SHOWN && cchUsed + 5 < cchText; i++) {
        uint8_t ch = pbName[i];
        int cch = ch < 0x20 || ch >= 0x7F ? snprintf(pszText + cchUsed, 5, "\\x%02X", ch)
                                          : snprintf(pszText + cchUsed, 2, "%c", ch);
        cchUsed += (size_t)cch;
    }
    if (cchName > NAME_SHOWN && cchUsed + 4 < cchText) strcat(pszText, "...");
}

}  // namespace

int FillElf(ImageFill *pFill) {
    const SRecordFile *pFile = pFill->pImage->pFile;
    if (!CheckHeader(pFile)) return 0;
    ElfTable sections, segments;
    ReadTables(pFile, &sections, &segments);
    for (uint32_t i = 0; i < sections.dwCount; i++) {
        ElfSection section = SectionAt(pFile, &sections, i);
        if (IsLoadedSection(&section) && !PlaceSection(pFill, i, &section)) return 0;
    }
    return 1;
}

void FormatElfSection(const SRecordFile *pFile, uint32_t dwIndex, char *pszText, size_t cchText) {
    snprintf(pszText, cchText, "section #%u", (unsigned)dwIndex);
    if (pFile->cchWhole < HEADER_SIZE) return;
    ElfTable sections, segments;
    ReadTables(pFile, &sections, &segments);
    uint32_t dwNames = Be16(FileBytes(pFile) + 50);
    if (!TableFits(pFile, &sections, SECTION_HEADER_SIZE) || dwIndex >= sections.dwCount ||
        dwNames >= sections.dwCount) {
        return;
    }
    ElfSection names = SectionAt(pFile, &sections, dwNames);
    uint32_t dwName = SectionAt(pFile, &sections, dwIndex).dwName;
    if (dwName >= names.dwSize || !FitsFile(pFile, names.dwOffset, names.dwSize)) return;
    const uint8_t *pbName = FileBytes(pFile) + names.dwOffset + dwName;
    const void *pEnd = memchr(pbName, 0, names.dwSize - dwName);
    size_t cchName =
        pEnd != NULL ? (size_t)((const uint8_t *)pEnd - pbName) : names.dwSize - dwName;
    snprintf(pszText, cchText, "section ");
    AppendShown(pszText, cchText, pbName, cchName);
}
