#include "world/skinned_meshes.h"

#include <windows.h>

#include <cmath>
#include <cstring>

#include "engine/entry_points.h"
#include "record/host_record.h"
#include "record/logic_digest.h"

namespace {

constexpr size_t kPaletteBegin = 0x380;
constexpr size_t kPaletteEnd = 0x384;
constexpr size_t kPaletteCapacityEnd = 0x388;
constexpr size_t kWorldMatrix = 0x6C;
constexpr uint32_t kRoom = 130;  // bones a palette buffer holds
constexpr double kBoneTurnPerStep = 0.02;  // radians
constexpr size_t kPaletteBytes = ((kRoom * 64 + 4095) / 4096) * 4096;

template <typename T>
T& At(uint8_t* object, size_t offset) {
  return *reinterpret_cast<T*>(object + offset);
}

SkinnedMeshes gSkins;

}  // namespace

struct SkinnedMeshes::Target {
  uint8_t* mesh;
  float* palette;  // a buffer of its own, so one can be made read-only
  uint32_t bones;
  bool ragdoll;
  std::vector<uint8_t*> bodies;
  double anim = 0;
  bool dirty = true;
  std::vector<float> own;  // what UpdateGraphicsForFrame last computed
  std::vector<float> atTick[2];
  uint32_t tickAt[2] = {};
  bool protectedNow = false;
  uint32_t recreatedTick = 0;
};

SkinnedMeshes& Skins() { return gSkins; }

namespace {

SkinnedMeshes::Target* NewTarget(uint8_t* mesh, uint32_t bones, bool ragdoll) {
  auto* target = new SkinnedMeshes::Target{};
  target->mesh = mesh;
  target->palette = static_cast<float*>(VirtualAlloc(nullptr, kPaletteBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  target->bones = bones;
  target->ragdoll = ragdoll;
  At<float*>(mesh, kPaletteBegin) = target->palette;
  At<float*>(mesh, kPaletteEnd) = target->palette + 16 * bones;
  At<float*>(mesh, kPaletteCapacityEnd) = target->palette + 16 * kRoom;
  return target;
}

}  // namespace

void SkinnedMeshes::AddGrunt(uint8_t* mesh, uint32_t bones) { targets_.push_back(NewTarget(mesh, bones, false)); }

void SkinnedMeshes::AddRagdoll(uint8_t* mesh, const std::vector<uint8_t*>& bodies) {
  Target* target = NewTarget(mesh, static_cast<uint32_t>(bodies.size()), true);
  target->bodies = bodies;
  targets_.push_back(target);
}

SkinnedMeshes::Target* SkinnedMeshes::Find(const void* mesh) {
  for (Target* t : targets_) {
    if (t->mesh == mesh) return t;
  }
  return nullptr;
}

void SkinnedMeshes::Advance(const void* mesh) {
  if (Target* t = Find(mesh)) t->anim += 1.0;
}

void SkinnedMeshes::Recreate(const void* mesh, uint32_t tick) {
  Target* t = Find(mesh);
  if (t == nullptr) return;
  t->anim += 25.0;  // bone 0 half a radian on, the others elsewhere in their swing
  t->recreatedTick = tick;
}

void SkinnedMeshes::SetBones(const void* mesh, uint32_t bones) {
  Target* t = Find(mesh);
  if (t == nullptr || t->bones == bones) return;
  t->bones = bones;
  At<float*>(t->mesh, kPaletteEnd) = t->palette + 16 * bones;
}

// A Grunt's bone swings with its animation clock; a ragdoll's bone is its body's transform.
void SkinnedMeshes::Compute(const Target& t, float* out, uint32_t) const {
  for (uint32_t b = 0; b < t.bones; ++b) {
    float* m = out + 16 * b;
    if (t.ragdoll) {
      memcpy(m, &At<float>(t.bodies[b], kWorldMatrix), 64);
      continue;
    }
    // Bone 0 turns at a constant rate (the benchmark reads its shown time); the others swing.
    const double angle = b == 0 ? kBoneTurnPerStep * t.anim : 0.25 * std::sin(0.12 * t.anim + 0.3 * b);
    const float c = static_cast<float>(std::cos(angle)), s = static_cast<float>(std::sin(angle));
    const float rows[16] = {c, -s, 0, 0.05f * b, s, c, 0, static_cast<float>(0.03 * std::sin(0.2 * t.anim)),
                            0, 0, 1, 0.01f * b, 0, 0, 0, 1};
    memcpy(m, rows, sizeof(rows));
  }
}

void SkinnedMeshes::EndStep(uint32_t tick) {
  for (Target* t : targets_) {
    std::vector<float>& at = t->atTick[tick % 2];
    at.assign(16 * t->bones, 0.0f);
    Compute(*t, at.data(), tick);
    t->tickAt[tick % 2] = tick;
    t->dirty = true;
  }
}

void SkinnedMeshes::DigestLogic(LogicDigest& digest, uint32_t tick) const {
  // The palette in the mesh is computed when a render first asks for it, so its bytes at a tick's
  // end depend on the frames; the step's own palette does not.
  for (const Target* t : targets_) {
    digest.Value(kLogicPoses, "animation_clock", t->anim);
    digest.Value(kLogicPoses, "bones", t->bones);
    digest.Value(kLogicPoses, "recreated_tick", t->recreatedTick);
    const std::vector<float>& step = t->atTick[tick % 2];
    digest.Add(kLogicPoses, "palette", step.data(), step.size() * sizeof(float));
  }
}

bool SkinnedMeshes::UpdateGraphicsForFrame(const void* mesh) {
  Target* t = Find(mesh);
  if (t == nullptr) return false;
  if (!t->dirty) return true;
  t->dirty = false;
  Compute(*t, t->palette, 0);
  t->own.assign(t->palette, t->palette + 16 * t->bones);
  return true;
}

void SkinnedMeshes::BeforeRender(const FrameTruth& truth, uint32_t completedTicks) {
  truth_ = truth;
  completedTicks_ = completedTicks;
  worst_ = 0;
  blended_ = 0;
}

void SkinnedMeshes::Draw(const void* mesh) {
  Target* t = Find(mesh);
  if (t == nullptr) return;
  using UpdateGraphics = void(THISCALL*)(void*, float);
  reinterpret_cast<UpdateGraphics>(engine_cMeshEntity_UpdateGraphicsForFrame)(t->mesh, 1.0f / 60.0f);
  const std::vector<float>& newest = t->atTick[completedTicks_ % 2];
  const std::vector<float>& older = t->atTick[(completedTicks_ + 1) % 2];
  const bool pair = t->tickAt[completedTicks_ % 2] == completedTicks_ &&
                    t->tickAt[(completedTicks_ + 1) % 2] + 1 == completedTicks_ && newest.size() == older.size() &&
                    newest.size() == 16 * t->bones;
  if (!pair || !judge_) return;
  if (t->recreatedTick != 0 && t->recreatedTick == completedTicks_) {
    // The newest tick holds another Grunt: only its pose may be drawn.
    double off = 0;
    for (uint32_t i = 0; i < 16 * t->bones; ++i) off = std::fmax(off, std::fabs(t->palette[i] - newest[i]));
    record_->Checked("pose-recreated-never-blended", off <= 1e-5,
                     "a Grunt re-created in the same memory is drawn in its own pose only");
    return;
  }
  const double alpha = truth_.valid ? truth_.alpha : 1.0;
  double worst = 0;
  for (uint32_t b = 0; b < t->bones; ++b) {
    for (int e = 0; e < 12; ++e) {
      const size_t i = 16 * b + e;
      const double want = older[i] + (newest[i] - older[i]) * alpha;
      const double d = std::fabs(t->palette[i] - want);
      if (!(d <= worst)) worst = d;
    }
  }
  if (!(worst <= worst_)) worst_ = worst;
  blended_ += memcmp(t->palette, t->own.data(), 64 * t->bones) != 0;
  if (t == targets_.front()) {
    // The simulation time the first Grunt's turning bone shows, in ticks.
    const double drawn = std::atan2(t->palette[4], t->palette[0]);
    const double own = std::atan2(t->own[4], t->own[0]);
    boneTicks_ = completedTicks_ + std::remainder(drawn - own, 2 * 3.14159265358979) / kBoneTurnPerStep;
  }
}

void SkinnedMeshes::ProtectForThisRender(const void* mesh) {
  Target* t = Find(mesh);
  if (t == nullptr) return;
  DWORD previous;
  VirtualProtect(t->palette, kPaletteBytes, PAGE_READONLY, &previous);
  t->protectedNow = true;
}

void SkinnedMeshes::AfterRender() {
  bool own = true;
  for (Target* t : targets_) {
    if (t->protectedNow) {
      // The plug-in could not put this one back; the engine recomputes it before it is used.
      DWORD previous;
      VirtualProtect(t->palette, kPaletteBytes, PAGE_READWRITE, &previous);
      record_->Line("fact name=palette-left-blended value=%d",
                    memcmp(t->palette, t->own.data(), 64 * t->bones) != 0 ? 1 : 0);
      memcpy(t->palette, t->own.data(), 64 * t->bones);
      t->protectedNow = false;
    }
    own = own && (!judge_ || t->own.size() < 16 * t->bones || memcmp(t->palette, t->own.data(), 64 * t->bones) == 0);
  }
  if (!judge_) return;
  record_->Checked("palettes-are-the-engines", own, "after the render every palette is the engine's own again");
}
