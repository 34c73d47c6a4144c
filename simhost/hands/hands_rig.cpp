#include "hands/hands_rig.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/entry_points.h"
#include "record/host_record.h"
#include "record/logic_digest.h"
#include "scenarios/scenario_events.h"
#include "truth/yaw_transform.h"

namespace {

// Engine layout.
constexpr size_t kHandsMesh = 0x44;
constexpr size_t kHandObjectsBegin = 0x60;
constexpr size_t kHandObjectsEnd = 0x64;
constexpr size_t kObjectMesh = 0xF4;
constexpr size_t kAttachmentArrays[3] = {0xF8, 0x108, 0x118};  // billboards, particles, lights
constexpr size_t kMeshActive = 0x24;
constexpr size_t kWorldMatrix = 0x6C;
constexpr size_t kEntityParent = 0x288;
constexpr size_t kMeshHasSkeleton = 0x2BC;
constexpr size_t kPaletteBegin = 0x380;
constexpr size_t kPaletteEnd = 0x384;
constexpr size_t kPaletteCapacityEnd = 0x388;
constexpr size_t kSubMeshVisible = 0x33D;
constexpr size_t kSubMeshOwner = 0x370;
constexpr size_t kSubMeshModelMatrix = 0x400;

constexpr size_t kPage = 4096;
constexpr int kObjects = 2;
constexpr int kHandSubMeshes = 129;  // two drawn normally, all of them in the capacity event
constexpr int kBones = 24;
constexpr int kPaletteRoom = 130;

// Where things sit relative to their parents.
constexpr YawTransform kHandsOffset{0.0f, {0.25f, -0.3f, 0.5f}};
constexpr YawTransform kGrip{0.3f, {0.05f, 0.1f, 0.2f}};

using Matrix = float[16];

uint8_t* NewPage() {
  return static_cast<uint8_t*>(VirtualAlloc(nullptr, kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

template <typename T>
T& At(uint8_t* object, size_t offset) {
  return *reinterpret_cast<T*>(object + offset);
}

double MaxDifference(const float* a, const float* b, int count) {
  double worst = 0;
  for (int i = 0; i < count; ++i) {
    const double d = std::fabs(static_cast<double>(a[i]) - b[i]);
    if (!(d <= worst)) worst = d;  // NaN wins
  }
  return worst;
}

// The hand animation: bone b at animation step `step`, a small swing with scale, like a skin.
void Bone(double step, int b, float* m) {
  const double angle = 0.3 * std::sin(0.15 * step + 0.5 * b);
  const float c = static_cast<float>(std::cos(angle)), s = static_cast<float>(std::sin(angle));
  const float rows[16] = {c * 1.02f, -s, 0, 0.1f * b, s, c, 0, static_cast<float>(0.05 * std::sin(0.2 * step)),
                          0, 0, 0.98f, 0.01f * b, 0, 0, 0, 1};
  memcpy(m, rows, sizeof(rows));
}

struct Event {
  const char* name;
  bool active;
};

}  // namespace

struct HandsRig::TickState {
  uint32_t tick = 0;
  YawTransform root;
  YawTransform object[kObjects];
  int held = 0;
  uint32_t bones = kBones;
  bool nanBone = false;
};

namespace {

struct World {
  uint8_t* hands = nullptr;
  uint8_t* handsMesh = nullptr;
  uint8_t* object[kObjects] = {};
  uint8_t* objectMesh[kObjects] = {};
  uint8_t* foreignParent = nullptr;
  uint8_t* attachment[kObjects][3] = {};  // each on a page of its own
  uint8_t* handSubMesh[kHandSubMeshes] = {};
  uint8_t* objectSubMesh[kObjects] = {};
  void* handObjects[4] = {};
  void* attachmentLists[kObjects][3][2] = {};
  float* palette = nullptr;  // room for kPaletteRoom bones and a misaligned start

  HandsRig::TickState* states = nullptr;  // the last two ticks, by tick parity
  uint32_t lastTick = 0;
  bool paletteDirty = true;
  // What the game itself last wrote, for the checks.
  float ownPalette[kPaletteRoom][16] = {};
  uint32_t ownBones = 0;
  Matrix ownAttachment[kObjects][3] = {};
  Matrix ownHandsWorld = {};
  Matrix ownObjectWorld[kObjects] = {};
  Matrix beforeRender[kObjects][3] = {};
  bool logicRan = false;
};

World gWorld;
HandsRig::TickState gStates[2];
HandsRig gRig;

Matrix& WorldMatrixOf(uint8_t* entity) { return At<Matrix>(entity, kWorldMatrix); }

YawTransform AttachmentLocal(int list) { return YawTransform{0.1f * list, {0.0f, 0.05f * (list + 1), 0.1f}}; }
YawTransform SubMeshLocal(int index) { return YawTransform{0.0f, {0.01f * index, 0.02f, 0.0f}}; }
constexpr YawTransform kObjectSubMeshLocal{0.2f, {0.0f, 0.0f, 0.15f}};

}  // namespace

HandsRig& Hands() { return gRig; }
void* HandsRig::hands() const { return gWorld.hands; }
void* HandsRig::handsMesh() const { return gWorld.handsMesh; }

void HandsRig::Check(const char* name, bool ok, const char* detail) {
  record_->Checked(name, ok, detail);
}

void HandsRig::Init(const Scenario& scenario, HostRecord* record) {
  scenario_ = &scenario;
  record_ = record;
  World& w = gWorld;
  w.hands = NewPage();
  w.handsMesh = NewPage();
  w.foreignParent = NewPage();
  w.palette = reinterpret_cast<float*>(VirtualAlloc(nullptr, (kPaletteRoom + 1) * 64,
                                                    MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  At<uint8_t*>(w.hands, kHandsMesh) = w.handsMesh;
  At<uint8_t>(w.handsMesh, kMeshActive) = 1;
  At<uint8_t>(w.handsMesh, kMeshHasSkeleton) = 1;
  for (int o = 0; o < kObjects; ++o) {
    w.object[o] = NewPage();
    w.objectMesh[o] = NewPage();
    At<uint8_t*>(w.object[o], kObjectMesh) = w.objectMesh[o];
    At<uint8_t>(w.objectMesh[o], kMeshActive) = o == 0 ? 1 : 0;
    w.handObjects[o] = w.object[o];
    for (int list = 0; list < 3; ++list) {
      w.attachment[o][list] = NewPage();
      At<uint8_t*>(w.attachment[o][list], kEntityParent) = w.objectMesh[o];
      w.attachmentLists[o][list][0] = w.attachment[o][list];
      w.attachmentLists[o][list][1] = w.attachment[o][list];
      At<void**>(w.object[o], kAttachmentArrays[list]) = &w.attachmentLists[o][list][0];
      At<void**>(w.object[o], kAttachmentArrays[list] + 4) = &w.attachmentLists[o][list][1];
    }
    w.objectSubMesh[o] = NewPage();
    At<uint8_t>(w.objectSubMesh[o], kSubMeshVisible) = 1;
    At<uint8_t*>(w.objectSubMesh[o], kSubMeshOwner) = w.objectMesh[o];
  }
  At<void**>(w.hands, kHandObjectsBegin) = &w.handObjects[0];
  At<void**>(w.hands, kHandObjectsEnd) = &w.handObjects[kObjects];
  for (int i = 0; i < kHandSubMeshes; ++i) {
    w.handSubMesh[i] = NewPage();
    At<uint8_t>(w.handSubMesh[i], kSubMeshVisible) = 1;
    At<uint8_t*>(w.handSubMesh[i], kSubMeshOwner) = w.handsMesh;
  }
  At<float*>(w.handsMesh, kPaletteBegin) = w.palette;
  At<float*>(w.handsMesh, kPaletteEnd) = w.palette + 16 * kBones;
  At<float*>(w.handsMesh, kPaletteCapacityEnd) = w.palette + 16 * kPaletteRoom;
  w.states = gStates;
  readOnlyEvents_ = EventCursor(scenario, "attachment_readonly");
}

void HandsRig::ApplyEvents(uint32_t tick) {
  World& w = gWorld;
  const Scenario& s = *scenario_;
  At<uint8_t>(w.handsMesh, kMeshActive) = EventActive(s, "hands_hidden", tick) ? 0 : 1;
  // Switching hands the second object over for good; "two_objects" shows both at once.
  const int held = EventStarted(s, "switch_object", tick) ? 1 : 0;
  const bool both = EventActive(s, "two_objects", tick);
  for (int o = 0; o < kObjects; ++o) At<uint8_t>(w.objectMesh[o], kMeshActive) = (o == held || both) ? 1 : 0;
  // The first billboard list names its entity twice; the held object's light gets a foreign parent.
  const bool twice = EventActive(s, "attachment_twice", tick);
  const bool foreign = EventActive(s, "attachment_foreign_parent", tick);
  for (int o = 0; o < kObjects; ++o) {
    At<void**>(w.object[o], kAttachmentArrays[0] + 4) = &w.attachmentLists[o][0][twice ? 2 : 1];
    if (twice) w.attachmentLists[o][0][1] = w.attachment[o][0];
    At<uint8_t*>(w.attachment[o][2], kEntityParent) = foreign && o == held ? w.foreignParent : w.objectMesh[o];
  }
  const uint32_t bones = EventActive(s, "palette129", tick)            ? 129u
                         : EventStarted(s, "bone_count", tick)         ? 20u
                                                                       : static_cast<uint32_t>(kBones);
  At<float*>(w.handsMesh, kPaletteEnd) = w.palette + 16 * bones +
                                         (EventActive(s, "palette_misaligned", tick) ? 8 : 0);
}

void HandsRig::WriteState(const TickState& state) {
  World& w = gWorld;
  ToMatrix(state.root, WorldMatrixOf(w.handsMesh));
  memcpy(w.ownHandsWorld, WorldMatrixOf(w.handsMesh), sizeof(Matrix));
  for (int i = 0; i < kHandSubMeshes; ++i) {
    ToMatrix(Compose(state.root, SubMeshLocal(i)), &At<float>(w.handSubMesh[i], kSubMeshModelMatrix));
  }
  for (int o = 0; o < kObjects; ++o) {
    ToMatrix(state.object[o], WorldMatrixOf(w.objectMesh[o]));
    memcpy(w.ownObjectWorld[o], WorldMatrixOf(w.objectMesh[o]), sizeof(Matrix));
    ToMatrix(Compose(state.object[o], kObjectSubMeshLocal), &At<float>(w.objectSubMesh[o], kSubMeshModelMatrix));
    for (int list = 0; list < 3; ++list) {
      ToMatrix(Compose(state.object[o], AttachmentLocal(list)), WorldMatrixOf(w.attachment[o][list]));
      memcpy(w.ownAttachment[o][list], WorldMatrixOf(w.attachment[o][list]), sizeof(Matrix));
    }
  }
}

void HandsRig::DigestLogic(LogicDigest& d) const {
  const World& w = gWorld;
  const TickState& state = w.states[w.lastTick % 2];
  d.Value(kLogicHands, "tick", state.tick);
  d.Value(kLogicHands, "root", state.root);
  d.Add(kLogicHands, "objects", state.object, sizeof(state.object));
  d.Value(kLogicHands, "held", state.held);
  d.Value(kLogicHands, "bones", state.bones);
  d.Value(kLogicHands, "nan_bone", state.nanBone);
  d.Add(kLogicHands, "hands_world_matrix", WorldMatrixOf(w.handsMesh), sizeof(Matrix));
  for (uint8_t* sub : w.handSubMesh) {
    d.Add(kLogicHands, "hand_submesh_matrices", &At<float>(sub, kSubMeshModelMatrix), sizeof(Matrix));
  }
  for (int o = 0; o < kObjects; ++o) {
    d.Add(kLogicHands, "object_world_matrices", WorldMatrixOf(w.objectMesh[o]), sizeof(Matrix));
    d.Add(kLogicHands, "object_submesh_matrices", &At<float>(w.objectSubMesh[o], kSubMeshModelMatrix), sizeof(Matrix));
    for (int list = 0; list < 3; ++list) {
      d.Add(kLogicHands, "attachment_world_matrices", WorldMatrixOf(w.attachment[o][list]), sizeof(Matrix));
    }
  }
}

bool HandsRig::CheckOwnState(const char* when) {
  World& w = gWorld;
  bool ok = memcmp(w.ownHandsWorld, WorldMatrixOf(w.handsMesh), sizeof(Matrix)) == 0;
  for (int o = 0; o < kObjects; ++o) {
    ok = ok && memcmp(w.ownObjectWorld[o], WorldMatrixOf(w.objectMesh[o]), sizeof(Matrix)) == 0;
    for (int list = 0; list < 3; ++list) {
      ok = ok && memcmp(w.ownAttachment[o][list], WorldMatrixOf(w.attachment[o][list]), sizeof(Matrix)) == 0;
    }
  }
  ok = ok && memcmp(w.ownPalette, w.palette, w.ownBones * 64) == 0;
  char detail[128];
  std::snprintf(detail, sizeof(detail), "%s: the hands, held objects, attachments and palette hold what the game made of them", when);
  Check("hands-hold-the-games-own-state", ok, detail);
  return ok;
}

void HandsRig::PostUpdate(uint32_t tick, const YawTransform& camera) {
  World& w = gWorld;
  if (w.logicRan) CheckOwnState("at a logic step's start");
  w.logicRan = true;
  ApplyEvents(tick);
  TickState& state = w.states[tick % 2];
  state = TickState{};
  state.tick = tick;
  const bool sway = scenario_->handsSway;
  const YawTransform swayed{sway ? static_cast<float>(0.05 * std::sin(0.2 * tick)) : 0.0f,
                            {kHandsOffset.t[0] + (sway ? static_cast<float>(0.02 * std::sin(0.3 * tick)) : 0.0f),
                             kHandsOffset.t[1], kHandsOffset.t[2]}};
  state.root = Compose(camera, swayed);
  for (int o = 0; o < kObjects; ++o) state.object[o] = Compose(state.root, kGrip);
  state.held = EventStarted(*scenario_, "switch_object", tick) ? 1 : 0;
  state.bones = static_cast<uint32_t>((At<float*>(w.handsMesh, kPaletteEnd) - w.palette) / 16);
  state.nanBone = EventActive(*scenario_, "bone_nan", tick);
  w.lastTick = tick;
  WriteState(state);
  w.paletteDirty = true;  // the animation advanced one step
}

void HandsRig::UpdateGraphicsForFrame(void* mesh) {
  World& w = gWorld;
  if (mesh != w.handsMesh || !w.paletteDirty) return;
  w.paletteDirty = false;
  const TickState& state = w.states[w.lastTick % 2];
  const uint32_t bones = state.bones < kPaletteRoom ? state.bones : kPaletteRoom;
  for (uint32_t b = 0; b < bones; ++b) Bone(state.tick, static_cast<int>(b), w.palette + 16 * b);
  if (state.nanBone) w.palette[16 * 3 + 5] = NAN;
  memcpy(w.ownPalette, w.palette, bones * 64);
  w.ownBones = bones;
}

void HandsRig::BeforeRender(const FrameTruth& truth, uint32_t completedTicks) {
  World& w = gWorld;
  truth_ = truth;
  completedTicks_ = completedTicks;
  for (int o = 0; o < kObjects; ++o) {
    for (int list = 0; list < 3; ++list) memcpy(w.beforeRender[o][list], WorldMatrixOf(w.attachment[o][list]), sizeof(Matrix));
  }
  readOnlyThisFrame_ = false;
}

void HandsRig::Draw(const YawTransform& drawnCamera) {
  World& w = gWorld;
  const TickState& newest = w.states[completedTicks_ % 2];
  const TickState& older = w.states[(completedTicks_ + 1) % 2];
  const bool pair = newest.tick == completedTicks_ && older.tick + 1 == completedTicks_;
  const double alpha = truth_.valid && pair ? truth_.alpha : 1.0;
  const auto expected = [&](const YawTransform& a, const YawTransform& b, float* m) {
    ToMatrix(Blend(a, b, alpha), m);
  };
  using GetModel = const float*(THISCALL*)(void*, void*);
  const auto getModel = reinterpret_cast<GetModel>(engine_cSubMeshEntity_GetModelMatrix);
  double handsErr = NAN, objectErr = NAN, attachmentErr = NAN, paletteErr = NAN;
  int handsCorrected = 0, objectCorrected = 0, paletteBlended = 0;
  float rel[4] = {NAN, NAN, NAN, NAN};
  const int held = newest.held;
  const bool judge = scenario_->judgeFrames;
  if (At<uint8_t>(w.handsMesh, kMeshActive) == 1 && completedTicks_ > 0) {
    const int drawn = EventActive(*scenario_, "submeshes129", completedTicks_) ? kHandSubMeshes : 2;
    for (int i = 0; i < drawn; ++i) {
      const float* m = getModel(w.handSubMesh[i], nullptr);
      if (i != 0 || !judge) continue;
      handsCorrected = m != &At<float>(w.handSubMesh[i], kSubMeshModelMatrix);
      Matrix want;
      expected(Compose(older.root, SubMeshLocal(0)), Compose(newest.root, SubMeshLocal(0)), want);
      handsErr = MaxDifference(m, want, 16);
      // The hands as seen from the drawn camera: constant while they are locked to the view.
      const double yaw = std::atan2(m[2], m[0]);
      const double c = std::cos(drawnCamera.yaw), s = std::sin(drawnCamera.yaw);
      const double d[3] = {m[3] - drawnCamera.t[0], m[7] - drawnCamera.t[1], m[11] - drawnCamera.t[2]};
      rel[0] = static_cast<float>(c * d[0] - s * d[2]);
      rel[1] = static_cast<float>(d[1]);
      rel[2] = static_cast<float>(s * d[0] + c * d[2]);
      rel[3] = Wrap(yaw - drawnCamera.yaw);
    }
    const float* o = getModel(w.objectSubMesh[held], nullptr);
    objectCorrected = o != &At<float>(w.objectSubMesh[held], kSubMeshModelMatrix);
    if (judge) {
      Matrix want;
      expected(Compose(older.object[held], kObjectSubMeshLocal), Compose(newest.object[held], kObjectSubMeshLocal), want);
      objectErr = MaxDifference(o, want, 16);
      // The renderer reads the held object's attachment caches; the first is checked.
      const YawTransform correction = Compose(Blend(older.root, newest.root, alpha), Inverse(newest.root));
      ToMatrix(Compose(correction, Compose(newest.object[held], AttachmentLocal(0))), want);
      attachmentErr = MaxDifference(WorldMatrixOf(w.attachment[held][0]), want, 16);
    }
    if (readOnlyEvents_.Take(completedTicks_) >= 0) {
      DWORD previous;
      VirtualProtect(w.attachment[held][1], kPage, PAGE_READONLY, &previous);
      readOnlyThisFrame_ = true;
    }

    using UpdateGraphics = void(THISCALL*)(void*, float);
    reinterpret_cast<UpdateGraphics>(engine_cMeshEntity_UpdateGraphicsForFrame)(w.handsMesh, 1.0f / 60.0f);
    if (judge && newest.bones == older.bones && newest.bones == kBones && !newest.nanBone && !older.nanBone) {
      float wantPalette[kBones][16];
      float a[16], b[16];
      for (int bone = 0; bone < kBones; ++bone) {
        Bone(older.tick, bone, a);
        Bone(newest.tick, bone, b);
        for (int e = 0; e < 16; ++e) wantPalette[bone][e] = static_cast<float>(a[e] + (b[e] - a[e]) * alpha);
      }
      paletteErr = MaxDifference(w.palette, &wantPalette[0][0], kBones * 16);
    }
    paletteBlended = memcmp(w.palette, w.ownPalette, w.ownBones * 64) != 0;
  }
  std::snprintf(fields_, sizeof(fields_),
                "hands_corrected=%d hands_err=%.3g object_corrected=%d object_err=%.3g attachment_err=%.3g "
                "palette_blended=%d palette_err=%.3g hands_rel_x=%.7g hands_rel_y=%.7g hands_rel_z=%.7g "
                "hands_rel_yaw=%.7g",
                handsCorrected, handsErr, objectCorrected, objectErr, attachmentErr, paletteBlended, paletteErr,
                rel[0], rel[1], rel[2], rel[3]);
}

void HandsRig::AfterRender() {
  World& w = gWorld;
  bool cachesBack = true;
  for (int o = 0; o < kObjects; ++o) {
    for (int list = 0; list < 3; ++list) {
      const bool back = memcmp(w.beforeRender[o][list], WorldMatrixOf(w.attachment[o][list]), sizeof(Matrix)) == 0;
      if (readOnlyThisFrame_ && list == 1 && o == gWorld.states[completedTicks_ % 2].held) {
        // The plug-in could not write this one back; the game repairs it before its next step.
        DWORD previous;
        VirtualProtect(w.attachment[o][list], kPage, PAGE_READWRITE, &previous);
        record_->Line("fact name=attachment-left-corrected value=%d", back ? 0 : 1);
        memcpy(WorldMatrixOf(w.attachment[o][list]), w.beforeRender[o][list], sizeof(Matrix));
        continue;
      }
      cachesBack = cachesBack && back;
    }
  }
  if (!scenario_->judgeFrames) return;
  Check("attachment-caches-restored", cachesBack,
        "after the render every attachment cache holds the bytes it had before it");
  bool modelsOwn = true;
  for (int i = 0; i < kHandSubMeshes && modelsOwn; ++i) {
    Matrix own;
    ToMatrix(Compose(w.states[completedTicks_ % 2].root, SubMeshLocal(i)), own);
    modelsOwn = completedTicks_ == 0 || memcmp(own, &At<float>(w.handSubMesh[i], kSubMeshModelMatrix), sizeof(own)) == 0;
  }
  Check("submesh-matrices-untouched", modelsOwn, "the renderer's own sub-mesh matrices are never written");
  Check("palette-is-the-games-own", memcmp(w.ownPalette, w.palette, w.ownBones * 64) == 0,
        "after the render the palette is what UpdateGraphicsForFrame made of this frame");
}
