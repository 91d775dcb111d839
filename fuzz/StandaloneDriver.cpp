// Runs a fuzz target without libFuzzer: the files named on the command line, then
// `--runs N` generated inputs (random bytes, and mutations of the previous input).

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  long runs = 1000;
  uint32_t seed = 0x5EED;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::atol(argv[++i]);
    } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
      seed = static_cast<uint32_t>(std::atol(argv[++i]));
    } else {
      std::ifstream in(argv[i], std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
  }
  std::mt19937 rng(seed);
  std::vector<uint8_t> input;
  for (long r = 0; r < runs; ++r) {
    if (r % 4 == 0 || input.empty()) {
      input.resize(rng() % 2048);
      for (auto& b : input) b = static_cast<uint8_t>(rng());
    } else {
      // Mutate: flip bytes, insert runs of interesting values, truncate.
      for (int m = 0; m < 4; ++m) {
        size_t at = input.empty() ? 0 : rng() % input.size();
        switch (rng() % 4) {
          case 0:
            if (!input.empty()) input[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            break;
          case 1: {
            static const uint8_t kInteresting[] = {0x00, 0x01, 0x18, 0x1F, 0x20, 0x7F, 0xAA,
                                                   0xCC, 0xDC, 0xE5, 0xF5, 0xFE, 0xFF};
            input.insert(input.begin() + static_cast<ptrdiff_t>(at),
                         kInteresting[rng() % sizeof kInteresting]);
            break;
          }
          case 2:
            input.resize(at);
            break;
          default:
            if (!input.empty()) input[at] = static_cast<uint8_t>(rng());
        }
      }
    }
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("%ld generated inputs run\n", runs);
  return 0;
}
