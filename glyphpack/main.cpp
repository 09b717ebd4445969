// glyphpack: makes a frame file from text art or greyscale images, so that glyphreeler shows
// it exactly as drawn. The frame file appears whole or not at all: it is written beside its
// final name and renamed into place once complete.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "glyphpack/pack.hpp"

namespace glyphreeler {
namespace {

constexpr char USAGE[] = "Usage: glyphpack <text or PGM file> <frame file>\n";

// A file name as it may appear in a message: control bytes would act on the terminal.
std::string printable(const std::string& name) {
  std::string shown = name;
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return shown;
}

void report(const std::string& message) {
  const std::string line = "glyphpack: " + message + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

// Reads a whole file. Returns 0 or the errno of the failure.
int read_whole_file(const char* path, std::string& contents) {
  std::error_code status;
  if (std::filesystem::is_directory(path, status)) return EISDIR;
  errno = 0;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return errno != 0 ? errno : EIO;
  // Sized up front where the size is known, so a large image is not held twice while it grows.
  if (const auto size = std::filesystem::file_size(path, status); !status) {
    contents.reserve(static_cast<std::size_t>(size));
  }
  char block[65536];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) contents.append(block, got);
  const int error = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(file);
  return error;
}

// A short name in the folder of `target` that no file has yet: the rename into place then
// stays within one file system, and a long target name leaves room for it.
std::filesystem::path unused_name_beside(const std::filesystem::path& target) {
  std::minstd_rand pick(static_cast<std::minstd_rand::result_type>(
      std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::path name;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%06x", static_cast<unsigned>(pick() & 0xFFFFFF));
    name = target.parent_path() / (std::string(".glyphpack-") + suffix);
    std::error_code status;
    // When the folder cannot even be looked into, opening the file will say why.
    if (!std::filesystem::exists(name, status) || status) break;
  }
  return name;
}

// Writes `bytes` as the file `path`, whole or not at all: an existing file of that name is
// replaced only once the new one is complete, keeping its permissions, and a symbolic link is
// followed to the file it names. Returns "" or the reason.
std::string write_whole_file(const std::string& path, const std::string& bytes) {
  std::error_code status;
  std::filesystem::path target = path;
  if (std::filesystem::is_symlink(target, status)) {
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(target, status);
    if (!status) target = resolved;
  }
  const std::filesystem::path partial = unused_name_beside(target);
  const std::string partial_name = partial.string();
  errno = 0;
  std::FILE* file = std::fopen(partial_name.c_str(), "wb");
  if (file == nullptr) return std::strerror(errno != 0 ? errno : EIO);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
                       std::fflush(file) == 0;
  const int write_error = errno;
  if (std::fclose(file) != 0 || !written) {
    const int error = written ? errno : write_error;
    std::remove(partial_name.c_str());
    return std::strerror(error != 0 ? error : EIO);
  }
  if (const auto existing = std::filesystem::status(target, status); !status &&
      std::filesystem::is_regular_file(existing)) {
    std::filesystem::permissions(partial, existing.permissions(), status);
  }
  std::filesystem::rename(partial, target, status);
  if (status) {
    std::remove(partial_name.c_str());
    return status.message();
  }
  return "";
}

int pack(const char* input_path, const char* output_path) {
  std::string input;
  if (const int error = read_whole_file(input_path, input); error != 0) {
    report("cannot read '" + printable(input_path) + "': " + std::strerror(error));
    return 1;
  }
  frame_file_bytes frames;
  pack_error problem;
  // What glyphreeler wrote is text, even where its first cells happen to spell a PGM header.
  const bool pgm = looks_like_pgm(input) && !looks_like_glyphreeler_output(input);
  const int packed = pgm ? pack_pgm(input, frames, problem) : pack_text(input, frames, problem);
  if (packed != 0) {
    std::string place = printable(input_path);
    if (problem.line != 0) place += ":" + std::to_string(problem.line) + ":" + std::to_string(problem.column);
    report(place + ": " + problem.message);
    return 1;
  }
  if (const std::string reason = write_whole_file(output_path, frames.bytes); !reason.empty()) {
    report("cannot write '" + printable(output_path) + "': " + reason);
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace glyphreeler

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs(glyphreeler::USAGE, stdout);
    return 1;
  }
  return glyphreeler::pack(argv[1], argv[2]);
}
