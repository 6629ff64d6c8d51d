// What every reader of the input image must leave behind, checked by the fuzz targets of the
// Intel HEX and ELF readers: the image a reader accepts holds together (its runs cover exactly
// its present bytes, every byte names a source, its dots add up), and written back as Intel HEX
// it reads back as the same bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "program_image.h"

namespace image_checks {

inline void Require(bool fCondition, const char *pszWhat) {
    if (fCondition) return;
    fprintf(stdout, "image check: %s\n", pszWhat);
    abort();
}

// The runs of a walk without bounds visit every present byte once, in address order.
inline void CheckRuns(const ProgramImage &image) {
    const ImageWalk walk = {nullptr, 0, 0, 0};
    ImageRun run;
    uint32_t dwCovered = 0, dwFrom = 0;
    while (NextImageRun(&image, &walk, dwFrom, &run)) {
        Require(run.wFirst >= dwFrom && run.dwLength >= 1, "a run goes back or is empty");
        for (uint32_t a = dwFrom; a < run.wFirst; a++)
            Require(image.rgbState[a] == BYTE_ABSENT, "a run skips a present byte");
        for (uint32_t a = run.wFirst; a < run.wFirst + run.dwLength; a++)
            Require(image.rgbState[a] != BYTE_ABSENT, "a run holds an absent byte");
        dwCovered += run.dwLength;
        dwFrom = run.wFirst + run.dwLength;
    }
    Require(dwCovered == image.dwBytes, "the runs do not cover the present bytes");
}

inline void CheckSources(const ProgramImage &image) {
    char szText[80];
    for (uint32_t a = 0; a < IMAGE_ADDRESS_SPACE; a++) {
        const ImageSource *pSource = ImageSourceOf(&image, static_cast<uint16_t>(a));
        Require((pSource != nullptr) == (image.rgbState[a] != BYTE_ABSENT),
                "a source for an absent byte or none for a present one");
        if (pSource == nullptr) continue;
        Require(image.rgwSource[a] < image.dwSources, "a byte names a source not made");
        FormatImageSource(&image, pSource, szText, sizeof szText);
        Require(strlen(szText) < sizeof szText, "a source's name overruns");
    }
    Require(image.dwSources <= image.dwBytes, "a source owns no byte");
    Require(ImageDotsIn(&image, 0, IMAGE_ADDRESS_SPACE) == image.dwDots,
            "the dots of the walk do not add up");
}

// Writes each run as Intel HEX into memory and fills a second image from that text.
inline void CheckIntelHexRoundTrip(const ProgramImage &image, ProgramImage *pAgain) {
    static char szText[8 * 1024 * 1024];
    FILE *pFile = fmemopen(szText, sizeof szText, "w");
    Require(pFile != nullptr, "no memory stream");
    const ImageWalk walk = {nullptr, 0, 0, 0};
    ImageRun run;
    for (uint32_t dw = 0; NextImageRun(&image, &walk, dw, &run); dw = run.wFirst + run.dwLength) {
        // Each run's own end record would end the file: keep only the data lines, and end the
        // whole file with one.
        char szRun[4 * IMAGE_ADDRESS_SPACE];
        FILE *pRun = fmemopen(szRun, sizeof szRun, "w");
        Require(WriteOutputFile(pRun, OUTPUT_INTEL_HEX, run.wFirst, &image.rgbValue[run.wFirst],
                                run.dwLength, "") == 1,
                "the Intel HEX writer failed");
        long cchRun = ftell(pRun);
        fclose(pRun);
        fwrite(szRun, 1, static_cast<size_t>(cchRun) - strlen(":00000001FF\n"), pFile);
    }
    fputs(":00000001FF\n", pFile);  // the one end record the whole file needs
    long cchText = ftell(pFile);
    fclose(pFile);
    SRecordFile file = {"round trip", szText, static_cast<size_t>(cchText),
                        static_cast<size_t>(cchText), 0};
    const ImageRules rules = {nullptr, 0, nullptr, 0, nullptr, 0, 0, 1};
    Require(FillProgramImage(&file, &rules, pAgain) == 1, "the written Intel HEX is refused");
    Require(pAgain->dwBytes == image.dwBytes, "the written Intel HEX holds other bytes");
    for (uint32_t a = 0; a < IMAGE_ADDRESS_SPACE; a++) {
        Require((pAgain->rgbState[a] == BYTE_ABSENT) == (image.rgbState[a] == BYTE_ABSENT) &&
                    (image.rgbState[a] == BYTE_ABSENT || pAgain->rgbValue[a] == image.rgbValue[a]),
                "the written Intel HEX reads back differently");
    }
}

// Whether the input fills an image with the talker's RAM refused, as FillAndCheck fills it.
inline bool Fills(const uint8_t *pbData, size_t cbData, int fBinary) {
    static ProgramImage image;
    static const RefusedRange kTalkerRam[] = {{0x0000, 0x00FF, "the RAM the talker runs in"}};
    SRecordFile file = {"fuzz input", reinterpret_cast<const char *>(pbData), cbData, cbData, 0};
    const ImageRules rules = {kTalkerRam, 1, nullptr, 0, nullptr, fBinary, 0x0100, 1};
    return FillProgramImage(&file, &rules, &image) == 1;
}

// Fills the image from the input with the talker's RAM refused, and checks what it accepts.
inline void FillAndCheck(const uint8_t *pbData, size_t cbData, int fBinary) {
    static ProgramImage image, again;
    static const RefusedRange kTalkerRam[] = {{0x0000, 0x00FF, "the RAM the talker runs in"}};
    SRecordFile file = {"fuzz input", reinterpret_cast<const char *>(pbData), cbData, cbData, 0};
    const ImageRules rules = {kTalkerRam, 1, nullptr, 0, nullptr, fBinary, 0x0100, 1};
    if (!FillProgramImage(&file, &rules, &image)) return;
    CheckRuns(image);
    CheckSources(image);
    CheckIntelHexRoundTrip(image, &again);
}

}  // namespace image_checks
