// Build helper (runs on the build machine): clears a PE image's export directory entry, so a
// plug-in DLL that exports nothing carries no export table at all.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

uint32_t ReadU32(const std::vector<unsigned char>& image, size_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, image.data() + offset, sizeof(value));
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pe_clear_exports FILE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<unsigned char> image((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  in.close();
  if (image.size() < 64 || image[0] != 'M' || image[1] != 'Z') {
    std::fprintf(stderr, "pe_clear_exports: %s is not a PE image\n", argv[1]);
    return 1;
  }
  const uint32_t nt = ReadU32(image, 60);
  const size_t exportEntry = size_t{nt} + 24 + 96;  // PE32 optional header: data directory 0
  if (nt > image.size() || image.size() - nt < 24 + 104 || ReadU32(image, nt) != 0x4550 ||
      image[nt + 24] != 0x0B || image[nt + 25] != 0x01) {
    std::fprintf(stderr, "pe_clear_exports: %s is not a PE32 image\n", argv[1]);
    return 1;
  }
  std::memset(image.data() + exportEntry, 0, 8);
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  return out ? 0 : 1;
}
