// Build-machine helper: the section table of a PE file read from disk, bounds-checked.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pe {

struct Section {
  std::string name;
  uint32_t rva = 0;
  uint32_t fileOffset = 0;
  uint32_t size = 0;  // the bytes present in the file, at most the mapped size
  bool executable = false;
};

struct Image {
  uint16_t machine = 0;  // 0x14C: i386
  uint32_t imageBase = 0;
  std::vector<Section> sections;
};

inline uint32_t ReadU32(const std::vector<uint8_t>& file, size_t offset) {
  uint32_t value = 0;
  if (offset <= file.size() && file.size() - offset >= 4) {
    std::memcpy(&value, file.data() + offset, 4);
  }
  return value;
}

inline uint16_t ReadU16(const std::vector<uint8_t>& file, size_t offset) {
  uint16_t value = 0;
  if (offset <= file.size() && file.size() - offset >= 2) {
    std::memcpy(&value, file.data() + offset, 2);
  }
  return value;
}

// headers: the file's first bytes, at least up to the end of its section table (the whole file
// will do). False unless it is a PE image whose section table lies inside headers; sections whose
// data would run past fileSize are dropped.
inline bool ReadImage(const std::vector<uint8_t>& file, uint64_t fileSize, Image& image) {
  image = Image{};
  if (file.size() < 64 || file[0] != 'M' || file[1] != 'Z') return false;
  const size_t nt = ReadU32(file, 60);
  if (ReadU32(file, nt) != 0x4550) return false;
  image.machine = ReadU16(file, nt + 4);
  const uint16_t count = ReadU16(file, nt + 6);
  const size_t optional = nt + 24;
  if (ReadU16(file, optional) == 0x10B) image.imageBase = ReadU32(file, optional + 28);  // PE32
  const size_t table = optional + ReadU16(file, nt + 20);
  if (table + 40u * count > file.size()) return false;
  for (uint16_t s = 0; s < count; ++s) {
    const size_t header = table + 40u * s;
    Section section;
    section.name.assign(reinterpret_cast<const char*>(file.data() + header),
                        strnlen(reinterpret_cast<const char*>(file.data() + header), 8));
    const uint32_t virtualSize = ReadU32(file, header + 8);
    const uint32_t rawSize = ReadU32(file, header + 16);
    section.rva = ReadU32(file, header + 12);
    section.fileOffset = ReadU32(file, header + 20);
    section.size = virtualSize != 0 && virtualSize < rawSize ? virtualSize : rawSize;
    const uint32_t characteristics = ReadU32(file, header + 36);
    section.executable = (characteristics & 0x20000020u) != 0;  // MEM_EXECUTE or CNT_CODE
    if (section.fileOffset > fileSize || fileSize - section.fileOffset < section.size) continue;
    image.sections.push_back(section);
  }
  return true;
}

}  // namespace pe
