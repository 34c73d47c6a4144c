// The detour library's instruction decoder against a reference decoder (Zydis), natively on the
// build machine. Corpora: every instruction of the executable sections of the 32-bit PE files the
// named Debian packages install, swept one after another, and seeded structured-random byte
// strings cut to every kind of length. Each input is compared on length, branch kind, displacement
// place and size, destination, flow end, ModRM, opcode and its place; the decoder reads its input
// from the end of a page whose successor is inaccessible, so a read past `available` faults.
// Exits 1 on any disagreement about an instruction both decode, a read past the end, a legacy
// encoding accepted that the reference refuses, or an instruction of the real code refused; it
// prints the counts of each, and the refusals in the random bytes by opcode.
//
// Usage: decoder_differential [--random COUNT] [--examples N] PACKAGE...
#include <Zydis/Zydis.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "instruction_decoder.h"
#include "pe_sections.h"

namespace {

using detour::BranchKind;
using detour::DecodedInstruction;
using detour::OpcodeMap;

constexpr size_t kMaxLength = 15;
constexpr auto kUnknownBranch = static_cast<BranchKind>(0xFF);

// What both decoders say about one input, in the same terms.
struct Facts {
  bool decoded = false;
  ZyanStatus status = ZYAN_STATUS_SUCCESS;  // the reference's reason for refusing
  uint8_t length = 0;
  uint8_t opcodeOffset = 0;
  uint8_t map = 0;  // Zydis's numbering
  uint8_t opcode = 0;
  bool hasModRM = false;
  uint8_t modrm = 0;
  BranchKind branch = BranchKind::kNone;
  uint8_t branchOffset = 0;
  uint8_t branchSize = 0;
  uint32_t destination = 0;
  bool endsFlow = false;
  bool vector = false;  // VEX or EVEX
};

// ---- the decoder under test, reading from the end of a page before an inaccessible one ----

uint8_t* gPageEnd = nullptr;
size_t gInputLength = 0;  // the input being decoded ends at gPageEnd

void ReportOverRead(int) {
  static const char kHex[] = "0123456789ABCDEF";
  char line[128] = "READ PAST AVAILABLE:";
  size_t at = strlen(line);
  for (const uint8_t* b = gPageEnd - gInputLength; b < gPageEnd; ++b) {
    line[at++] = ' ';
    line[at++] = kHex[*b >> 4];
    line[at++] = kHex[*b & 15];
  }
  line[at++] = '\n';
  if (write(STDERR_FILENO, line, at) < 0) _exit(1);
  _exit(1);
}

bool PrepareGuardedPage() {
  const long page = sysconf(_SC_PAGESIZE);
  auto* base = static_cast<uint8_t*>(
      mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  if (base == MAP_FAILED || mprotect(base + page, page, PROT_NONE) != 0) return false;
  gPageEnd = base + page;
  struct sigaction action = {};
  action.sa_handler = ReportOverRead;
  return sigaction(SIGSEGV, &action, nullptr) == 0 && sigaction(SIGBUS, &action, nullptr) == 0;
}

uint8_t ZydisMapOf(const DecodedInstruction& d) {
  switch (d.map) {
    case OpcodeMap::kOneByte: return ZYDIS_OPCODE_MAP_DEFAULT;
    case OpcodeMap::k0F: return ZYDIS_OPCODE_MAP_0F;
    case OpcodeMap::k0F38: return ZYDIS_OPCODE_MAP_0F38;
    case OpcodeMap::k0F3A: return ZYDIS_OPCODE_MAP_0F3A;
    case OpcodeMap::k0F0F: return ZYDIS_OPCODE_MAP_0F0F;
    case OpcodeMap::kMap5: return ZYDIS_OPCODE_MAP_MAP5;
    case OpcodeMap::kMap6: return ZYDIS_OPCODE_MAP_MAP6;
  }
  return 0xFF;
}

Facts Ours(const uint8_t* bytes, size_t available, uint32_t address) {
  gInputLength = available;
  uint8_t* at = gPageEnd - available;
  memcpy(at, bytes, available);
  DecodedInstruction d;
  Facts f;
  f.decoded = detour::DecodeInstruction(at, available, d);
  if (!f.decoded) return f;
  f.length = d.length;
  f.opcodeOffset = d.opcodeOffset;
  f.map = ZydisMapOf(d);
  f.opcode = d.opcode;
  f.hasModRM = d.hasModRM;
  f.modrm = d.hasModRM ? d.modrm : 0;
  f.branch = d.branch;
  if (d.branch != BranchKind::kNone) {
    f.branchOffset = d.branchOffset;
    f.branchSize = d.branchSize;
    f.destination = static_cast<uint32_t>(detour::BranchDestination(address, at, d));
  }
  f.endsFlow = d.endsFlow;
  f.vector = d.encoding != detour::Encoding::kLegacy;
  return f;
}

// ---- the reference ----

BranchKind KindOf(const ZydisDecodedInstruction& z) {
  switch (z.mnemonic) {
    case ZYDIS_MNEMONIC_JMP:
      return z.opcode == 0xEB ? BranchKind::kJmpShort : BranchKind::kJmp;
    case ZYDIS_MNEMONIC_CALL: return BranchKind::kCall;
    case ZYDIS_MNEMONIC_LOOP:
    case ZYDIS_MNEMONIC_LOOPE:
    case ZYDIS_MNEMONIC_LOOPNE:
    case ZYDIS_MNEMONIC_JCXZ:
    case ZYDIS_MNEMONIC_JECXZ: return BranchKind::kLoopOrJcxz;
    case ZYDIS_MNEMONIC_XBEGIN: return BranchKind::kXbegin;
    default: break;
  }
  if (z.meta.category == ZYDIS_CATEGORY_COND_BR) {
    return z.opcode_map == ZYDIS_OPCODE_MAP_DEFAULT ? BranchKind::kJccShort : BranchKind::kJccNear;
  }
  return kUnknownBranch;
}

class Reference {
 public:
  Reference() { ZydisDecoderInit(&decoder_, ZYDIS_MACHINE_MODE_LEGACY_32, ZYDIS_STACK_WIDTH_32); }

  Facts Decode(const uint8_t* bytes, size_t available, uint32_t address,
               ZydisDecodedInstruction& z) const {
    Facts f;
    ZydisDecoderContext context;
    f.status = ZydisDecoderDecodeInstruction(&decoder_, &context, bytes, available, &z);
    if (!ZYAN_SUCCESS(f.status)) return f;
    f.decoded = true;
    f.length = z.length;
    f.opcodeOffset = z.raw.prefix_count;
    f.map = static_cast<uint8_t>(z.opcode_map);
    f.opcode = z.opcode;
    f.hasModRM = (z.attributes & ZYDIS_ATTRIB_HAS_MODRM) != 0;
    if (f.hasModRM) {
      f.modrm = static_cast<uint8_t>(z.raw.modrm.mod << 6 | z.raw.modrm.reg << 3 | z.raw.modrm.rm);
    }
    f.endsFlow = z.mnemonic == ZYDIS_MNEMONIC_RET || z.mnemonic == ZYDIS_MNEMONIC_IRET ||
                 z.mnemonic == ZYDIS_MNEMONIC_IRETD || z.mnemonic == ZYDIS_MNEMONIC_JMP;
    if ((z.attributes & ZYDIS_ATTRIB_IS_RELATIVE) == 0) return f;
    f.branch = KindOf(z);
    for (const auto& imm : z.raw.imm) {
      if (!imm.is_relative) continue;
      f.branchOffset = imm.offset;
      f.branchSize = imm.size / 8;
    }
    ZydisDecodedOperand operands[ZYDIS_MAX_OPERAND_COUNT];
    ZydisDecoderDecodeOperands(&decoder_, &context, &z, operands, z.operand_count);
    for (uint8_t i = 0; i < z.operand_count; ++i) {
      const ZydisDecodedOperand& operand = operands[i];
      if (operand.type != ZYDIS_OPERAND_TYPE_IMMEDIATE || !operand.imm.is_relative) continue;
      ZyanU64 destination = 0;
      ZydisCalcAbsoluteAddress(&z, &operand, address, &destination);
      f.destination = static_cast<uint32_t>(destination);
    }
    return f;
  }

 private:
  ZydisDecoder decoder_;
};

// ---- counting ----

std::string Hex(const uint8_t* bytes, size_t length) {
  std::string text;
  char byte[4];
  for (size_t i = 0; i < length; ++i) {
    snprintf(byte, sizeof(byte), i == 0 ? "%02X" : " %02X", bytes[i]);
    text += byte;
  }
  return text;
}

const char* const kMapNames[] = {"", "0F ", "0F38 ", "0F3A ", "map4 ", "map5 ",
                                 "map6 ", "map7 ", "0F0F ", "XOP8 ", "XOP9 ", "XOPA "};

std::string ReferenceKey(const ZydisDecodedInstruction& z) {
  static const char* const kEncodings[] = {"", "3DNow ", "XOP ", "VEX ", "EVEX ", "MVEX "};
  char text[64];
  snprintf(text, sizeof(text), "%s%s%02X (%s)", kEncodings[z.encoding], kMapNames[z.opcode_map],
           z.opcode, ZydisMnemonicGetString(z.mnemonic));
  return text;
}

std::string StatusName(ZyanStatus status) {
  switch (status) {
    case ZYDIS_STATUS_DECODING_ERROR: return "undefined";
    case ZYDIS_STATUS_BAD_REGISTER: return "bad register";
    case ZYDIS_STATUS_ILLEGAL_LOCK: return "lock";
    case ZYDIS_STATUS_ILLEGAL_LEGACY_PFX: return "prefix";
    case ZYDIS_STATUS_INVALID_MAP: return "map";
    case ZYDIS_STATUS_MALFORMED_EVEX: return "malformed EVEX";
    case ZYDIS_STATUS_INVALID_MASK: return "mask";
    case ZYDIS_STATUS_INSTRUCTION_TOO_LONG: return "too long";
    default: return "other";
  }
}

// A legacy encoding the reference refuses: the prefixes that select or forbid, the map, the
// opcode and the ModRM form.
std::string OurKey(const uint8_t* bytes, const Facts& f) {
  std::string key = ": ";
  for (uint8_t i = 0; i < f.opcodeOffset; ++i) {
    const uint8_t p = bytes[i];
    if (p == 0xF0 || p == 0x66 || p == 0xF2 || p == 0xF3 || p == 0x67) key += Hex(&p, 1) + " ";
  }
  char text[64];
  snprintf(text, sizeof(text), "%s%02X", kMapNames[f.map], f.opcode);
  key += text;
  if (f.hasModRM) {
    snprintf(text, sizeof(text), " /%d%s", (f.modrm >> 3) & 7, f.modrm >= 0xC0 ? " reg" : "");
    key += text;
  }
  return key;
}

struct Tally {
  uint64_t compared = 0;
  uint64_t bothRefuse = 0;
  std::map<std::string, uint64_t> disagreements;
  std::map<std::string, std::vector<std::string>> examples;
  std::map<std::string, uint64_t> refused;           // the reference decodes, ours refuses
  std::map<std::string, uint64_t> acceptedLegacy;    // ours decodes, the reference refuses
  std::map<std::string, uint64_t> acceptedVector;    // the same for VEX and EVEX, by reason
  std::map<std::string, std::string> firstExample;
  size_t examplesWanted = 3;

  template <typename Example>
  void Note(std::map<std::string, uint64_t>& counts, const std::string& key,
            const Example& example) {
    if (counts[key]++ == 0) firstExample[key] = example();
  }
  void Disagree(const char* what, const std::string& example) {
    ++disagreements[what];
    std::vector<std::string>& list = examples[what];
    if (list.size() < examplesWanted) list.push_back(example);
  }
  uint64_t Count(const char* what) const {
    const auto it = disagreements.find(what);
    return it == disagreements.end() ? 0 : it->second;
  }
};

constexpr const char* kClasses[] = {
    "wrong length",      "accepted cut short", "wrong branch kind", "wrong displacement place",
    "wrong destination", "wrong flow end",     "wrong ModRM",       "wrong opcode",
};

// Returns the reference's length, 0 where it refuses.
uint8_t Compare(const Reference& reference, const uint8_t* bytes, size_t available,
                uint32_t address, Tally& tally) {
  ZydisDecodedInstruction z;
  const Facts expected = reference.Decode(bytes, available, address, z);
  const Facts actual = Ours(bytes, available, address);
  const auto context = [&] {
    char text[160];
    snprintf(text, sizeof(text), "%s (available %zu, at 0x%08X)", Hex(bytes, available).c_str(),
             available, address);
    return std::string(text);
  };
  if (!expected.decoded && !actual.decoded) {
    ++tally.bothRefuse;
    return 0;
  }
  if (!expected.decoded && (expected.status == ZYDIS_STATUS_NO_MORE_DATA ||
                            expected.status == ZYDIS_STATUS_INSTRUCTION_TOO_LONG)) {
    // The instruction runs past available or 15 bytes: any length we claim is wrong.
    char line[256];
    snprintf(line, sizeof(line), "%s: decoder %u, reference needs more", context().c_str(),
             actual.length);
    tally.Disagree("accepted cut short", line);
    return 0;
  }
  if (!expected.decoded) {
    if (actual.vector) {
      tally.Note(tally.acceptedVector, StatusName(expected.status), context);
    } else {
      const std::string key = StatusName(expected.status) + OurKey(bytes, actual);
      tally.Note(tally.acceptedLegacy, key, context);
    }
    return 0;
  }
  if (!actual.decoded) {
    tally.Note(tally.refused, ReferenceKey(z), context);
    return expected.length;
  }
  ++tally.compared;
  const auto disagree = [&](const char* what, unsigned ours, unsigned theirs) {
    char line[256];
    snprintf(line, sizeof(line), "%s: decoder %X, reference %X (%s)", context().c_str(), ours,
             theirs, ZydisMnemonicGetString(z.mnemonic));
    tally.Disagree(what, line);
  };
  if (actual.length != expected.length) {
    disagree("wrong length", actual.length, expected.length);
    return expected.length;
  }
  if (Ours(bytes, expected.length - 1, address).decoded) {
    disagree("accepted cut short", expected.length - 1, expected.length);
  }
  if (actual.branch != expected.branch) {
    disagree("wrong branch kind", static_cast<unsigned>(actual.branch),
             static_cast<unsigned>(expected.branch));
  } else if (actual.branchOffset != expected.branchOffset ||
             actual.branchSize != expected.branchSize) {
    disagree("wrong displacement place", actual.branchOffset << 4 | actual.branchSize,
             expected.branchOffset << 4 | expected.branchSize);
  } else if (actual.destination != expected.destination) {
    disagree("wrong destination", actual.destination, expected.destination);
  }
  if (actual.endsFlow != expected.endsFlow) {
    disagree("wrong flow end", actual.endsFlow, expected.endsFlow);
  }
  if (actual.hasModRM != expected.hasModRM || actual.modrm != expected.modrm) {
    disagree("wrong ModRM", actual.hasModRM << 8 | actual.modrm,
             expected.hasModRM << 8 | expected.modrm);
  }
  if (actual.opcodeOffset != expected.opcodeOffset || actual.map != expected.map ||
      actual.opcode != expected.opcode) {
    disagree("wrong opcode", actual.opcodeOffset << 12 | actual.map << 8 | actual.opcode,
             expected.opcodeOffset << 12 | expected.map << 8 | expected.opcode);
  }
  return expected.length;
}

// ---- corpora ----

std::vector<std::string> PackageFiles(const std::string& package) {
  std::vector<std::string> files;
  FILE* list = popen(("dpkg -L '" + package + "' 2>/dev/null").c_str(), "r");
  if (list == nullptr) return files;
  char line[4096];
  while (fgets(line, sizeof(line), list) != nullptr) {
    std::string path = line;
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
    files.push_back(path);
  }
  pclose(list);
  return files;
}

// Every i386 PE file of the package, reading only its headers and executable sections; returns
// how many it swept.
size_t SweepPackage(const Reference& reference, const std::string& package, Tally& tally,
                    uint64_t& skippedBytes) {
  constexpr size_t kHeaderBytes = 4096;
  size_t images = 0;
  for (const std::string& path : PackageFiles(package)) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) continue;
    const uint64_t fileSize = static_cast<uint64_t>(in.tellg());
    std::vector<uint8_t> bytes(std::min<uint64_t>(fileSize, kHeaderBytes));
    in.seekg(0);
    if (bytes.size() < 2 || !in.read(reinterpret_cast<char*>(bytes.data()), bytes.size())) continue;
    pe::Image image;
    if (!pe::ReadImage(bytes, fileSize, image) || image.machine != 0x14C) continue;
    ++images;
    for (const pe::Section& section : image.sections) {
      if (!section.executable) continue;
      bytes.resize(section.size);
      in.seekg(section.fileOffset);
      if (!in.read(reinterpret_cast<char*>(bytes.data()), section.size)) continue;
      size_t offset = 0;
      while (offset < section.size) {
        const size_t available = std::min(kMaxLength, section.size - offset);
        const uint32_t address = image.imageBase + section.rva + static_cast<uint32_t>(offset);
        const uint8_t length = Compare(reference, bytes.data() + offset, available, address, tally);
        if (length != 0) {
          offset += length;
        } else {
          ++offset;  // data between functions
          ++skippedBytes;
        }
      }
    }
  }
  return images;
}

// splitmix64: the same sequence on every machine and standard library.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }
  uint8_t Byte() { return static_cast<uint8_t>(Next()); }

 private:
  uint64_t state_;
};

// Random bytes shaped like an instruction: some legacy prefixes, then one of the encodings (the
// one-byte map, the three escape maps, 3DNow!, VEX, EVEX, XOP) with plausible payload bits.
void RandomInstruction(Random& random, uint8_t (&bytes)[kMaxLength]) {
  static const uint8_t kPrefixes[] = {0x66, 0x66, 0x67, 0x67, 0xF0, 0xF2, 0xF3,
                                      0x2E, 0x3E, 0x26, 0x36, 0x64, 0x65};
  for (uint8_t& b : bytes) b = random.Byte();
  size_t at = 0;
  const uint32_t count = random.Below(16);
  const size_t prefixes = count < 8 ? 0 : count < 12 ? 1 : count < 14 ? 2 : 3 + random.Below(3);
  for (size_t i = 0; i < prefixes; ++i) bytes[at++] = kPrefixes[random.Below(sizeof(kPrefixes))];
  // In 32-bit code C4, C5, 62 and 8F are prefixes only when the next byte's top bits are 11.
  const auto withTopBits = [&](uint8_t b) { return random.Below(10) < 9 ? b | 0xC0 : b; };
  const auto withMap = [&](uint8_t b, uint8_t map) {
    return withTopBits(static_cast<uint8_t>((b & 0xE0) | map));
  };
  const uint32_t roll = random.Below(20);  // the encoding, by weight
  if (roll < 6) return;                     // one-byte map
  if (roll < 13) {
    static const uint8_t kSecond[] = {0x38, 0x3A, 0x0F};  // 0F 38, 0F 3A, 3DNow!
    bytes[at] = 0x0F;
    if (roll >= 10) bytes[at + 1] = kSecond[roll - 10];
  } else if (roll < 15) {
    bytes[at] = 0xC5;
    bytes[at + 1] = withTopBits(bytes[at + 1]);
  } else if (roll < 17) {
    bytes[at] = 0xC4;
    bytes[at + 1] = withMap(bytes[at + 1], static_cast<uint8_t>(1 + random.Below(3)));
  } else if (roll < 19) {
    // EVEX, mostly with valid maps, reserved bits clear and the fixed bit set.
    static const uint8_t kEvexMaps[] = {1, 2, 3, 5, 6, 0, 4, 7};
    bytes[at] = 0x62;
    const uint8_t reserved = random.Below(8) == 0 ? random.Byte() & 0x0C : 0;
    bytes[at + 1] = withTopBits(static_cast<uint8_t>((bytes[at + 1] & 0xF0) | reserved |
                                                     kEvexMaps[random.Below(8)]));
    if (random.Below(8) != 0) bytes[at + 2] |= 0x04;
  } else {
    bytes[at] = 0x8F;  // XOP
    bytes[at + 1] = withMap(bytes[at + 1], static_cast<uint8_t>(8 + random.Below(3)));
  }
}

uint32_t RandomAddress(Random& random) {
  switch (random.Below(4)) {
    case 0: return random.Below(256);                                // wraps below zero
    case 1: return 0xFFFFFF00u + random.Below(256);                  // wraps past 4 GB
    case 2: return (random.Below(0x10000) << 16) + 0xFFF0 + random.Below(32);  // 64 KB edges
    default: return static_cast<uint32_t>(random.Next());
  }
}

void CompareRandom(const Reference& reference, uint64_t count, Tally& tally) {
  Random random(0x44726966746C6173ull);
  uint8_t bytes[kMaxLength];
  for (uint64_t i = 0; i < count; ++i) {
    RandomInstruction(random, bytes);
    const uint32_t address = RandomAddress(random);
    Compare(reference, bytes, kMaxLength, address, tally);
    Compare(reference, bytes, 1 + random.Below(kMaxLength - 1), address, tally);
  }
}

// ---- report ----

// The total, then the most frequent keys with an example each.
void PrintTop(const char* title, const std::map<std::string, uint64_t>& counts,
              const std::map<std::string, std::string>& examples, size_t limit) {
  std::vector<std::pair<uint64_t, std::string>> sorted;
  uint64_t total = 0;
  for (const auto& [key, count] : counts) {
    sorted.emplace_back(count, key);
    total += count;
  }
  std::sort(sorted.rbegin(), sorted.rend());
  printf("  %s: %" PRIu64 " (%zu kinds)\n", title, total, sorted.size());
  for (size_t i = 0; i < sorted.size() && i < limit; ++i) {
    printf("    %10" PRIu64 "  %-36s e.g. %s\n", sorted[i].first, sorted[i].second.c_str(),
           examples.at(sorted[i].second).c_str());
  }
}

// Prints the tally; false on any disagreement about an instruction both decode, on a legacy
// encoding accepted that the reference refuses and, with refusalsFail, on any refusal.
bool Report(const char* corpus, const Tally& tally, size_t limit, bool refusalsFail) {
  printf("%s: %" PRIu64 " compared, %" PRIu64 " refused by both\n", corpus, tally.compared,
         tally.bothRefuse);
  bool clean = true;
  for (const char* what : kClasses) {
    const uint64_t count = tally.Count(what);
    printf("  %-26s %" PRIu64 "\n", what, count);
    if (count == 0) continue;
    clean = false;
    for (const std::string& example : tally.examples.at(what)) {
      printf("      %s\n", example.c_str());
    }
  }
  PrintTop("refused where the reference decodes, by opcode", tally.refused, tally.firstExample,
           limit);
  PrintTop("legacy encodings accepted that the reference refuses", tally.acceptedLegacy,
           tally.firstExample, limit);
  PrintTop("VEX/EVEX accepted that the reference refuses (operand fields not checked), by reason",
           tally.acceptedVector, tally.firstExample, limit);
  return clean && tally.acceptedLegacy.empty() && (!refusalsFail || tally.refused.empty());
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t randomCount = 3000000;
  size_t limit = 12;
  std::vector<std::string> packages;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--random") == 0 && i + 1 < argc) {
      randomCount = strtoull(argv[++i], nullptr, 10);
    } else if (strcmp(argv[i], "--examples") == 0 && i + 1 < argc) {
      limit = strtoul(argv[++i], nullptr, 10);
    } else {
      packages.push_back(argv[i]);
    }
  }
  if (!PrepareGuardedPage()) {
    fprintf(stderr, "decoder_differential: cannot prepare the guarded page\n");
    return 2;
  }
  const Reference reference;
  Tally real;
  Tally random;
  real.examplesWanted = random.examplesWanted = limit;
  uint64_t skippedBytes = 0;
  bool ok = true;
  for (const std::string& package : packages) {
    const size_t images = SweepPackage(reference, package, real, skippedBytes);
    printf("%s: %zu i386 PE files\n", package.c_str(), images);
    if (images == 0) {
      fprintf(stderr, "decoder_differential: package %s has no i386 PE file\n", package.c_str());
      ok = false;
    }
  }
  printf("(%" PRIu64 " bytes the reference does not decode were stepped over one by one)\n",
         skippedBytes);
  ok = Report("real code", real, limit, true) && ok;
  CompareRandom(reference, randomCount, random);
  ok = Report("random bytes", random, limit, false) && ok;
  printf("%s\n", ok ? "PASSED" : "FAILED");
  return ok ? 0 : 1;
}
