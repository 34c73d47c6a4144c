#include "host/guarded_memory.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace driftglass {
namespace {

constexpr size_t kPage = 4096;

// Pages with chosen protections, released when the test ends.
class Pages {
 public:
  explicit Pages(size_t count, DWORD allocation = MEM_RESERVE | MEM_COMMIT)
      : base_(static_cast<uint8_t*>(VirtualAlloc(nullptr, count * kPage, allocation,
                                                 allocation & MEM_COMMIT ? PAGE_READWRITE
                                                                         : PAGE_NOACCESS))) {}
  ~Pages() { VirtualFree(base_, 0, MEM_RELEASE); }
  uint8_t* at(size_t page, size_t offset = 0) const { return base_ + page * kPage + offset; }
  void Protect(size_t page, DWORD protection, size_t count = 1) {
    DWORD previous = 0;
    ASSERT_TRUE(VirtualProtect(at(page), count * kPage, protection, &previous));
  }

 private:
  uint8_t* base_;
};

struct Rights {
  bool readable;
  bool writable;
};

Rights RightsOf(const void* address, size_t length) {
  return {IsRangeReadable(address, length), IsRangeWritable(address, length)};
}

TEST(GuardedMemory, ProtectionDecidesReadAndWrite) {
  const struct {
    DWORD protection;
    bool readable;
    bool writable;
  } cases[] = {
      {PAGE_READWRITE, true, true},
      {PAGE_READONLY, true, false},
      {PAGE_EXECUTE_READ, true, false},
      {PAGE_EXECUTE_READWRITE, true, true},
      {PAGE_EXECUTE, false, false},
      {PAGE_NOACCESS, false, false},
      {PAGE_READWRITE | PAGE_GUARD, false, false},
  };
  for (const auto& c : cases) {
    Pages pages(1);
    pages.Protect(0, c.protection);
    const Rights rights = RightsOf(pages.at(0, 16), 16);
    EXPECT_EQ(rights.readable, c.readable) << "protection " << c.protection;
    EXPECT_EQ(rights.writable, c.writable) << "protection " << c.protection;
  }
}

TEST(GuardedMemory, ReservedOnlyNullAndEmptyAreInaccessible) {
  Pages reserved(1, MEM_RESERVE);
  EXPECT_FALSE(IsRangeReadable(reserved.at(0), 4));
  EXPECT_FALSE(IsRangeReadable(nullptr, 4));
  Pages pages(1);
  EXPECT_FALSE(IsRangeReadable(pages.at(0), 0));
}

TEST(GuardedMemory, RangeMustEndInsideItsRegion) {
  Pages pages(3);
  pages.Protect(1, PAGE_READONLY);  // splits the allocation into three regions
  EXPECT_TRUE(IsRangeReadable(pages.at(0, kPage - 8), 8));   // ends exactly at the region's end
  EXPECT_FALSE(IsRangeReadable(pages.at(0, kPage - 8), 9));  // one byte into the next region
  EXPECT_TRUE(IsRangeWritable(pages.at(2), kPage));
  EXPECT_FALSE(IsRangeWritable(pages.at(2, 1), kPage));       // crosses the allocation's end

  // A range over several regions is readable only piecewise.
  EXPECT_TRUE(IsSpanReadable(pages.at(0), 3 * kPage));
  pages.Protect(1, PAGE_NOACCESS);
  EXPECT_FALSE(IsSpanReadable(pages.at(0), 3 * kPage));
  EXPECT_TRUE(IsSpanReadable(pages.at(2), kPage));
}

TEST(GuardedMemory, TestingNeverTouchesTheBytes) {
  Pages pages(1);
  pages.Protect(0, PAGE_READWRITE | PAGE_GUARD);
  EXPECT_FALSE(IsRangeReadable(pages.at(0), 4));
  // Touching a guard page would have cleared the guard; it must still be armed.
  MEMORY_BASIC_INFORMATION info;
  ASSERT_EQ(VirtualQuery(pages.at(0), &info, sizeof(info)), sizeof(info));
  EXPECT_NE(info.Protect & PAGE_GUARD, 0u);
}

TEST(GuardedMemory, ReadHostValueCopiesOnlyReadableFields) {
  Pages pages(2);
  uint32_t* field = reinterpret_cast<uint32_t*>(pages.at(0, 0x40));
  *field = 0xDEADBEEF;
  uint32_t value = 7;
  EXPECT_TRUE(ReadHostValue(pages.at(0), 0x40, value));
  EXPECT_EQ(value, 0xDEADBEEF);

  // A null object fails even when the offset alone would name a readable address.
  value = 7;
  EXPECT_FALSE(ReadHostValue(nullptr, reinterpret_cast<uintptr_t>(field), value));
  EXPECT_EQ(value, 7u);

  pages.Protect(1, PAGE_NOACCESS);
  struct Record {
    uint8_t bytes[1276];
  } record{};
  EXPECT_FALSE(ReadHostValue(pages.at(0), kPage - 100, record));  // would cross into no-access
  EXPECT_EQ(record.bytes[0], 0);
}

TEST(GuardedMemory, ExecutableTargets) {
  Pages pages(3);
  pages.Protect(0, PAGE_EXECUTE);
  pages.Protect(1, PAGE_EXECUTE_READ);
  EXPECT_TRUE(IsExecutableTarget(pages.at(0)));
  EXPECT_TRUE(IsExecutableTarget(pages.at(1)));
  EXPECT_FALSE(IsExecutableTarget(pages.at(2)));
  EXPECT_TRUE(IsCommittedExecutableTarget(pages.at(1)));
  EXPECT_FALSE(IsCommittedExecutableTarget(nullptr));
}

}  // namespace
}  // namespace driftglass
