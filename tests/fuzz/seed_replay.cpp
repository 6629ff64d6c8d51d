// Runs a fuzz target's checks over its checked-in seeds, one input per file. A check that
// fails aborts the process, and with it the test.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData);

namespace {

std::vector<uint8_t> ReadSeed(const std::filesystem::path &path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>());
}

TEST(FuzzSeeds, EverySeedPassesTheTargetsChecks) {
    size_t dwSeeds = 0;
    for (const auto &entry : std::filesystem::directory_iterator(SEED_DIR)) {
        std::vector<uint8_t> bytes = ReadSeed(entry.path());
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
        dwSeeds++;
    }
    EXPECT_GE(dwSeeds, 10u) << "the seeds are made by make_corpus_*.sh";
}

}  // namespace
