#pragma once
// WriteFile on a disk that takes a limited number of bytes more, then refuses them with
// ERROR_DISK_FULL. A write larger than the room left is a short write that still succeeds, as a
// real one does; gZeroWrites makes that many calls succeed without writing a byte.

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace driftglass::test {

inline constexpr int64_t kPlentyOfRoom = int64_t{1} << 40;

extern std::atomic<int64_t> gDiskRoom;
extern std::atomic<int> gZeroWrites;

BOOL WINAPI LimitedWriteFile(HANDLE file, LPCVOID bytes, DWORD length, LPDWORD written,
                             LPOVERLAPPED overlapped);

}  // namespace driftglass::test
