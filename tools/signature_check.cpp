// Build helper (runs on the build machine): scans an executable's .text with the plug-in's own
// signature table and scanner and fails unless every engine function matches as expected (once,
// unless "--expect NAME=COUNT" says otherwise). GCC emits some signatures for unrelated code, so
// the simulated game is checked after every link.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "host/signature_scan.h"
#include "host/signature_table.h"
#include "pe_sections.h"

namespace {

std::string Narrow(const wchar_t* text) {
  std::string out;
  while (*text != L'\0') out.push_back(static_cast<char>(*text++));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: signature_check EXE [--expect NAME=COUNT ...]\n");
    return 2;
  }
  std::map<std::string, uint32_t> expected;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string rule = argv[i + 1];
    const size_t equals = rule.rfind('=');
    if (std::strcmp(argv[i], "--expect") != 0 || equals == std::string::npos) {
      std::fprintf(stderr, "signature_check: cannot use %s %s\n", argv[i], argv[i + 1]);
      return 2;
    }
    expected[rule.substr(0, equals)] = static_cast<uint32_t>(std::stoul(rule.substr(equals + 1)));
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  pe::Image image;
  if (!pe::ReadImage(file, file.size(), image)) {
    std::fprintf(stderr, "signature_check: %s is not a PE image\n", argv[1]);
    return 1;
  }
  for (const pe::Section& section : image.sections) {
    if (section.name != ".text") continue;
    const uint8_t* text = file.data() + section.fileOffset;
    const uint32_t size = section.size;
    int failures = 0;
    const driftglass::SignatureSpec* table = driftglass::SignatureTable();
    for (uint32_t i = 0; i < driftglass::kSignatureCount; ++i) {
      const driftglass::SignatureSpec& signature = table[i];
      uint32_t count = 0;
      uintptr_t address = 0;
      driftglass::ScanSignature(text, size, signature.pattern, signature.patternLength, signature.mask,
                                signature.maskLength, count, address);
      driftglass::ScanSignature(text, size, signature.alternative, signature.alternativeLength,
                                signature.alternativeMask, signature.alternativeMaskLength, count, address);
      const std::string name = Narrow(signature.name);
      const auto rule = expected.find(name);
      const uint32_t wanted = rule == expected.end() ? 1 : rule->second;
      if (count != wanted) {
        std::fprintf(stderr, "signature_check: %s: %s matches %u time(s), expected %u\n", argv[1],
                     name.c_str(), count, wanted);
        ++failures;
      }
    }
    return failures == 0 ? 0 : 1;
  }
  std::fprintf(stderr, "signature_check: %s has no .text section\n", argv[1]);
  return 1;
}
