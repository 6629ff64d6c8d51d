// libFuzzer target for the Intel HEX reader of the input image: any text, its first character
// made ':' so that the format recognised by content is Intel HEX, filled as the run fills it,
// and every accepted image held to image_checks.h.
#include <vector>

#include "image_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData) {
    std::vector<uint8_t> text(pbData, pbData + cbData);
    if (!text.empty()) text[0] = ':';
    image_checks::FillAndCheck(text.data(), text.size(), 0);
    return 0;
}
