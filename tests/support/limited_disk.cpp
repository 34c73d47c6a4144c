#include "support/limited_disk.h"

namespace driftglass::test {

std::atomic<int64_t> gDiskRoom{kPlentyOfRoom};
std::atomic<int> gZeroWrites{0};

BOOL WINAPI LimitedWriteFile(HANDLE file, LPCVOID bytes, DWORD length, LPDWORD written,
                             LPOVERLAPPED overlapped) {
  if (gZeroWrites > 0) {
    --gZeroWrites;
    *written = 0;
    return TRUE;
  }
  const int64_t room = gDiskRoom;
  if (room <= 0) {
    *written = 0;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  const DWORD accepted = static_cast<DWORD>(room < length ? room : length);
  gDiskRoom -= accepted;
  return WriteFile(file, bytes, accepted, written, overlapped);
}

}  // namespace driftglass::test
