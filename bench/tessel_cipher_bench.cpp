// Throughput of the file cipher on one file, ciphered in place:
//   Win32:   Tessel.dll's Encrypt_File (the CryptoAPI path), loaded by name;
//   natively: the portable RC4 core, streamed the same way (1000-byte
//            chunks into a temporary file that then replaces the file).
//
//   tessel_cipher_bench FILE
//
// Prints one tab-separated line: what ran, bytes, seconds, MB/s (10^6
// bytes a second) and the process's peak memory in KiB.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tessel/cipher_core.h"

#if defined(_WIN32)
#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace {

#if defined(_WIN32)

constexpr char kLabel[] = "Encrypt_File (Tessel.dll, CryptoAPI, Wine)";

bool Cipher(const std::string& path) {
  const HMODULE library = LoadLibraryA("Tessel.dll");
  if (library == nullptr) return false;
  using PathExport = int32_t(__stdcall*)(const char*);
  const auto encrypt_file = reinterpret_cast<PathExport>(
      reinterpret_cast<void*>(GetProcAddress(library, "Encrypt_File")));
  return encrypt_file != nullptr && encrypt_file(path.c_str()) == -1;
}

uint64_t PeakMemoryKib() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakWorkingSetSize / 1024;
}

#else

constexpr char kLabel[] = "portable RC4 core (native)";

bool Cipher(const std::string& path) {
  const std::string temporary = tessel::TemporaryPath(path);
  std::FILE* source = std::fopen(path.c_str(), "rb");
  if (source == nullptr) return false;
  std::FILE* target = std::fopen(temporary.c_str(), "wb");
  if (target == nullptr) {
    std::fclose(source);
    return false;
  }
  tessel::Rc4 keystream = tessel::NewKeystream();
  uint8_t chunk[tessel::kFileChunk];
  bool ok = true;
  for (;;) {
    const size_t read = std::fread(chunk, 1, sizeof chunk, source);
    keystream.Apply(chunk, read);
    if (std::fwrite(chunk, 1, read, target) != read) ok = false;
    if (read < sizeof chunk || !ok) break;
  }
  ok = ok && !std::ferror(source);
  std::fclose(source);
  ok = std::fclose(target) == 0 && ok;
  return ok && std::rename(temporary.c_str(), path.c_str()) == 0;
}

uint64_t PeakMemoryKib() {
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<uint64_t>(usage.ru_maxrss);
}

#endif

uint64_t FileSize(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fclose(file);
  return size < 0 ? 0 : static_cast<uint64_t>(size);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tessel_cipher_bench FILE\n");
    return 2;
  }
  const std::string path = argv[1];
  const uint64_t bytes = FileSize(path);
  const auto start = std::chrono::steady_clock::now();
  if (!Cipher(path)) {
    std::fprintf(stderr, "tessel_cipher_bench: ciphering %s failed\n", path.c_str());
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s\t%llu\t%.3f\t%.1f\t%llu\n", kLabel, static_cast<unsigned long long>(bytes),
              seconds, bytes / seconds / 1e6, static_cast<unsigned long long>(PeakMemoryKib()));
  return 0;
}
