// Runs a fuzz target on saved inputs without libFuzzer, so that any compiler can replay the seed
// corpus and the crash regressions: each argument is an input file or a directory of them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace glyphreeler {
namespace {

namespace fs = std::filesystem;

// A fault aborts inside the target, so a file that comes back at all has passed.
bool replay(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return true;
}

// The inputs under `path`, in name order so that runs repeat. Dot files (.gitkeep) are not
// inputs.
bool collect(const fs::path& path, std::vector<fs::path>& inputs) {
  std::error_code error;
  if (fs::is_regular_file(path, error)) {
    inputs.push_back(path);
    return true;
  }
  if (!fs::is_directory(path, error)) {
    std::fprintf(stderr, "no such input or directory: %s\n", path.c_str());
    return false;
  }
  std::vector<fs::path> found;
  for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
    if (entry.is_regular_file() && entry.path().filename().string().front() != '.') {
      found.push_back(entry.path());
    }
  }
  if (error) {
    std::fprintf(stderr, "cannot list %s\n", path.c_str());
    return false;
  }
  std::sort(found.begin(), found.end());
  inputs.insert(inputs.end(), found.begin(), found.end());
  return true;
}

int replay_all(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (!collect(argv[i], inputs)) return 1;
  }
  for (const fs::path& input : inputs) {
    if (!replay(input)) return 1;
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return 0;
}

}  // namespace
}  // namespace glyphreeler

int main(int argc, char** argv) { return glyphreeler::replay_all(argc, argv); }
