// libFuzzer target for the input image from S19 text and from raw bytes (--base): the first
// byte says which (bit 0 set: raw bytes at $0100), the rest is the file. Whatever the content,
// a file that shows S19, Intel HEX or ELF is never taken as raw bytes, and every accepted
// image is held to image_checks.h.
#include <vector>

#include "image_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData) {
    if (cbData == 0) return 0;
    const int fBinary = pbData[0] & 1;
    std::vector<uint8_t> bytes(pbData + 1, pbData + cbData);
    const char *pchText = reinterpret_cast<const char *>(bytes.data());
    SRecordFile file = {"fuzz input", pchText, bytes.size(), bytes.size(), 0};
    image_checks::Require(!fBinary || RecognizeImageFormat(&file) == IMAGE_BINARY ||
                              !image_checks::Fills(bytes.data(), bytes.size(), fBinary),
                          "a file of a known format was taken as raw bytes");
    image_checks::FillAndCheck(bytes.data(), bytes.size(), fBinary);
    return 0;
}
