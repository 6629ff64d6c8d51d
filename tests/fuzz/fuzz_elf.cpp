// libFuzzer target for the ELF reader of the input image: any bytes, the ELF magic put over
// their first four so that every input reaches the ELF reader (header, section and program
// header tables and the name table at any offset and size), filled as the run fills it, and
// every accepted image held to image_checks.h.
#include <vector>

#include "image_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData) {
    static const uint8_t kMagic[4] = {0x7F, 'E', 'L', 'F'};
    std::vector<uint8_t> bytes(pbData, pbData + cbData);
    if (bytes.size() >= sizeof kMagic) memcpy(bytes.data(), kMagic, sizeof kMagic);
    image_checks::FillAndCheck(bytes.data(), bytes.size(), 0);
    return 0;
}
