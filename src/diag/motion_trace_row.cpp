#include "diag/motion_trace_row.h"

#include <initializer_list>

#include "diag/ascii_text.h"

namespace driftglass {
namespace {

constexpr int kFractionDecimals = 9;
constexpr int kFloatDigits = 9;

void Separate(AsciiText& row) { row.Append(","); }

void Pose(AsciiText& row, const CameraPose& pose) {
  for (const float value : {pose.x, pose.y, pose.z, pose.pitch, pose.yaw, pose.roll}) {
    Separate(row);
    row.General(value, kFloatDigits);
  }
}

}  // namespace

const char kMotionTraceHeader[] =
    "qpc_seconds,tick_serial,older_serial,newer_serial,raw_alpha,phase_delay_ticks,alpha,flags,"
    "auth_x,auth_y,auth_z,auth_pitch,auth_yaw,auth_roll,base_x,base_y,base_z,base_pitch,base_yaw,"
    "base_roll,final_x,final_y,final_z,final_pitch,final_yaw,final_roll,poll_x,poll_y,deferred_x,"
    "deferred_y,pending_x,pending_y,history_pitch,history_yaw,pending_pitch,pending_yaw\r\n";

uint32_t FormatMotionTraceRow(const MotionTraceRecord& record, int64_t frequency, char* out,
                              uint32_t capacity) {
  AsciiText row(out, capacity);
  row.Fixed(static_cast<double>(record.qpcCounter) / static_cast<double>(frequency),
            kFractionDecimals);
  for (const uint64_t serial : {record.tickSerial, record.olderSerial, record.newerSerial}) {
    Separate(row);
    row.Unsigned(serial);
  }
  for (const double fraction : {record.rawAlpha, record.phaseDelayTicks, record.alpha}) {
    Separate(row);
    row.Fixed(fraction, kFractionDecimals);
  }
  Separate(row);
  row.Unsigned(record.flags);
  Pose(row, record.auth);
  Pose(row, record.base);
  Pose(row, record.final);
  for (const int64_t count : {int64_t{record.pollX}, int64_t{record.pollY}, record.deferredX,
                              record.deferredY, record.pendingX, record.pendingY}) {
    Separate(row);
    row.Signed(count);
  }
  for (const float angle :
       {record.historyPitch, record.historyYaw, record.pendingPitch, record.pendingYaw}) {
    Separate(row);
    row.General(angle, kFloatDigits);
  }
  row.Append("\r\n");
  return row.truncated() ? 0 : row.length();
}

}  // namespace driftglass
