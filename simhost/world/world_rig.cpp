#include "world/world_rig.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "engine/entry_points.h"
#include "record/host_record.h"
#include "record/logic_digest.h"
#include "scenarios/scenario_events.h"
#include "truth/yaw_transform.h"
#include "world/skinned_meshes.h"

extern "C" {
struct NewtonBody;
}

namespace {

// Engine layout.
constexpr size_t kIdentityWord = 0x40;
constexpr size_t kMeshIdentityWord = 0x04;
constexpr size_t kActive = 0x24;
constexpr size_t kBodyMatrixBlock = 0x2C;
constexpr size_t kWorldMatrix = 0x6C;
constexpr size_t kEnemyDisabled = 0x10C;
constexpr size_t kPropIneligibleFlag = 0x119;
constexpr size_t kPropBodiesBegin = 0x260;
constexpr size_t kPropBodiesEnd = 0x264;
constexpr size_t kStandaloneBodyCount = 0x280;
constexpr size_t kEntityParent = 0x288;
constexpr size_t kPropMesh = 0x340;
constexpr size_t kMeshSubMeshesBegin = 0x30C;
constexpr size_t kMeshSubMeshesEnd = 0x310;
constexpr size_t kSubMeshVisible = 0x33D;
constexpr size_t kSubMeshRenderCounter = 0x344;
constexpr size_t kSubMeshOwner = 0x370;
constexpr size_t kBodyHandle = 0x3B0;
constexpr size_t kNullModel = 0x3F4;           // the renderer has no model matrix for it
constexpr size_t kModelMatrixPointer = 0x3F8;  // where the renderer's model matrix lives
constexpr size_t kPropClass = 0x484;
constexpr size_t kEnemyMesh = 0x54C;
constexpr size_t kEnemyKind = 0x82C;
constexpr size_t kArrays = 0x900;  // body and sub-mesh pointer arrays live in their object

constexpr size_t kObjectSize = 0x1000;  // what each object takes in the spaced layout
// What each kind of object needs, up to its last field (a prop's array holds 33 bodies, a mesh's
// its sub-meshes): the heap layout hands out at least this.
constexpr size_t kPropBytes = kArrays + 33 * sizeof(void*);
constexpr size_t kMeshBytes = kArrays + 8 * sizeof(void*);
constexpr size_t kSubMeshBytes = 0x440;  // its own model matrix ends there
constexpr size_t kBodyBytes = kBodyHandle + sizeof(void*);
constexpr size_t kNodeBytes = kEntityParent + sizeof(void*);
constexpr size_t kEnemyBytes = kEnemyKind + sizeof(uint32_t);
constexpr uint32_t kWakeEveryTicks = 15;  // the sleeping world: one prop woken four times a second
constexpr uint32_t kAwakeTicks = 60;
constexpr uint8_t kFreedByte = 0xDD;  // what a destroyed object's memory holds until it is reused
constexpr int kCrowd = 520;  // more sub-meshes than one frame's 512 corrections
constexpr int kExtraGrunts = 7;  // with the two Grunts and the ragdoll: more than eight targets
constexpr size_t kArenaSize = 16 * 1024 * 1024;

using Matrix = float[16];

template <typename T>
T& At(uint8_t* object, size_t offset) {
  return *reinterpret_cast<T*>(object + offset);
}

YawTransform FromMatrix(const float* m) {
  return YawTransform{static_cast<float>(std::atan2(m[2], m[0])), {m[3], m[7], m[11]}};
}

void Multiply(const float* a, const float* b, float* out) {
  Matrix product;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[4 * r + k] * b[4 * k + c];
      product[4 * r + c] = sum;
    }
  }
  memcpy(out, product, sizeof(product));
}

struct SubMesh {
  uint8_t* object;
  bool crowd;  // drawn only while the sub-mesh capacity event lasts
  uint8_t* parent;  // body, node or mesh
  YawTransform local;
  Matrix own;  // the cache as the engine last computed it
};

enum class Kind { kProp, kMultiProp, kStandalone, kGrunt, kReused, kRecreated };

// One object the game follows: the entity its motion comes from and its first sub-mesh's place.
struct Tracked {
  Kind kind;
  uint8_t* root;  // body or Grunt mesh
  int subMesh;
  YawTransform chain;  // root to sub-mesh
  YawTransform at[2];
  uint32_t tickAt[2];
  float velocityX;
  uint32_t jumpTick = 0;  // the tick at which it was teleported or replaced
};

struct Enemy {
  uint8_t* object;
  uint8_t* mesh;
  float velocity[3];
  bool extra;  // updated only while the ninth-target event lasts
};

// An object the removal events destroy and, when the event ends, create again in the same memory:
// a prop with its body, a body no prop owns, or a Grunt (its mesh stays, as the engine keeps it).
struct Removable {
  const char* event;
  uint8_t* object;  // prop, body or enemy
  uint8_t* body;    // the prop's body or the body itself; none for a Grunt
  uint8_t* mesh;
  size_t bodyIndex;
  float start[3];  // where it was first; each new object comes a step away
  bool removed;
  uint32_t recreations;
};

struct Objects {
  uint8_t* arena = nullptr;
  size_t used = 0;
  std::vector<uint8_t*> freeBlocks;  // destroyed objects' memory, reused latest first
  std::vector<uint8_t*> bodies;
  std::vector<NewtonBody*> handles;
  std::vector<uint8_t*> props;
  std::vector<uint8_t*> meshes;
  std::vector<uint8_t*> nodes;
  std::vector<Enemy> enemies;
  std::vector<SubMesh> subMeshes;
  std::vector<Tracked> tracked;
  uint8_t* multiProp = nullptr;  // the first three-body prop: the body-array events use it
  uint8_t* orphan = nullptr;     // its sub-mesh that follows none of its bodies
  uint8_t* sleeper = nullptr;    // the body the sleep event puts to sleep
  uint8_t* teleported = nullptr;
  uint8_t* reusedProp = nullptr;
  uint8_t* ragdoll = nullptr;  // a skinned prop whose bones follow its four falling bodies
  std::vector<uint8_t*> ragdollBodies;
  std::vector<const float*> drawn;  // per sub-mesh, what the renderer drew with this frame
  std::vector<Removable> removables;
  std::vector<const uint8_t*> absent;  // objects and meshes of removed objects
  EventCursor readOnlyEvents, poseReadOnlyEvents;
  bool readOnlyThisFrame = false;
  std::vector<float> ownBodyWorld;  // 16 floats per body, as physics left it
  uint32_t nextWord = 0x1000;
  bool heapLayout = false;
  uint32_t heapState = 1;
  std::map<const uint8_t*, size_t> heapSizes;
  std::vector<uint8_t*> asleep;          // bodies of the sleeping world
  std::vector<uint32_t> awakeUntil;      // per asleep body: the tick it sleeps again, 0 asleep
};

Objects gObjects;
WorldRig gRig;

size_t SizeOf(const uint8_t* object) {
  if (!gObjects.heapLayout) return kObjectSize;
  const auto found = gObjects.heapSizes.find(object);
  return found != gObjects.heapSizes.end() ? found->second : kObjectSize;
}

// An allocator's block for a request of `needed` bytes among requests of mixed sizes (256 B to
// 8 KiB), 16-byte aligned; `ownPage` starts it on a page of its own (the read-only events protect
// the whole object).
size_t HeapBlockSize(size_t needed) {
  uint32_t& state = gObjects.heapState;
  state = state * 1664525u + 1013904223u;
  const size_t mixed = 0x100 + (state >> 8) % (0x2000 - 0x100);
  return ((needed > mixed ? needed : mixed) + 15) & ~size_t{15};
}

uint8_t* NewObject(size_t needed, bool ownPage = false) {
  Objects& o = gObjects;
  for (size_t i = o.freeBlocks.size(); i-- > 0;) {
    uint8_t* reused = o.freeBlocks[i];
    if (SizeOf(reused) < needed) continue;
    o.freeBlocks.erase(o.freeBlocks.begin() + static_cast<std::ptrdiff_t>(i));
    memset(reused, 0, SizeOf(reused));
    return reused;
  }
  if (o.arena == nullptr) {
    o.arena = static_cast<uint8_t*>(VirtualAlloc(nullptr, kArenaSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  }
  size_t size = kObjectSize;
  if (o.heapLayout) {
    size = HeapBlockSize(needed);
    if (ownPage) {
      o.used = (o.used + kObjectSize - 1) & ~(kObjectSize - 1);
      size = (size + kObjectSize - 1) & ~(kObjectSize - 1);
    }
  }
  if (o.used + size > kArenaSize) {
    std::fprintf(stderr, "simhost: the world's object arena is full\n");
    ExitProcess(3);
  }
  uint8_t* object = o.arena + o.used;
  o.used += size;
  if (o.heapLayout) o.heapSizes[object] = size;
  return object;
}

// The object's memory is freed: it holds the freed pattern until something is created in it.
void FreeObject(uint8_t* object) {
  memset(object, kFreedByte, SizeOf(object));
  gObjects.freeBlocks.push_back(object);
}

bool StillFreed(const uint8_t* object) {
  for (size_t i = 0; i < SizeOf(object); ++i) {
    if (object[i] != kFreedByte) return false;
  }
  return true;
}

bool Absent(const uint8_t* object) {
  for (const uint8_t* a : gObjects.absent) {
    if (a == object) return true;
  }
  return false;
}

template <typename F>
F Export(const wchar_t* module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name)));
}

using CreateBody = NewtonBody* (*)(void*, const float*, const float*, float);
using Update = void (*)(float, int, void (*)(const NewtonBody*, const float*, int));

uint8_t* NewMesh(bool skeleton) {
  uint8_t* mesh = NewObject(kMeshBytes);
  At<uint32_t>(mesh, kMeshIdentityWord) = ++gObjects.nextWord;
  At<uint8_t>(mesh, kActive) = 1;
  At<uint8_t>(mesh, 0x2BC) = skeleton ? 1 : 0;
  At<uint8_t**>(mesh, kMeshSubMeshesBegin) = &At<uint8_t*>(mesh, kArrays);
  At<uint8_t**>(mesh, kMeshSubMeshesEnd) = &At<uint8_t*>(mesh, kArrays);
  ToMatrix(YawTransform{}, &At<float>(mesh, kWorldMatrix));
  gObjects.meshes.push_back(mesh);
  return mesh;
}

int AddSubMesh(uint8_t* mesh, uint8_t* parent, const YawTransform& local, bool nullModel = false,
               bool listed = true, bool ownPage = false) {
  uint8_t* sub = NewObject(kSubMeshBytes, ownPage);
  At<uint8_t>(sub, kSubMeshVisible) = 1;
  At<uint8_t*>(sub, kSubMeshOwner) = mesh;
  At<uint8_t*>(sub, kEntityParent) = parent;
  At<float*>(sub, kModelMatrixPointer) = &At<float>(sub, kWorldMatrix);
  At<uint8_t>(sub, kNullModel) = nullModel ? 1 : 0;
  if (listed) {
    uint8_t**& end = At<uint8_t**>(mesh, kMeshSubMeshesEnd);
    *end++ = sub;
  }
  gObjects.subMeshes.push_back(SubMesh{sub, false, parent, local, {}});
  return static_cast<int>(gObjects.subMeshes.size()) - 1;
}

// A body object in `body`'s memory with a new physics body.
void InitBody(uint8_t* body, const float* position, const float* velocity, float yawRate, bool standalone) {
  static const CreateBody create = Export<CreateBody>(L"newton.dll", "SimNewtonCreateBody");
  At<uint8_t>(body, kActive) = 1;
  At<uint32_t>(body, kStandaloneBodyCount) = standalone ? 1 : 0;
  NewtonBody* handle = create(body, position, velocity, yawRate);
  At<NewtonBody*>(body, kBodyHandle) = handle;
  Matrix start;
  ToMatrix(YawTransform{0.0f, {position[0], position[1], position[2]}}, start);
  memcpy(&At<float>(body, kBodyMatrixBlock), start, sizeof(start));
  memcpy(&At<float>(body, kWorldMatrix), start, sizeof(start));
}

uint8_t* NewBody(const float* position, const float* velocity, float yawRate, bool standalone) {
  uint8_t* body = NewObject(kBodyBytes);
  InitBody(body, position, velocity, yawRate, standalone);
  gObjects.bodies.push_back(body);
  gObjects.handles.push_back(At<NewtonBody*>(body, kBodyHandle));
  return body;
}

size_t BodyIndex(const uint8_t* body) {
  for (size_t b = 0; b < gObjects.bodies.size(); ++b) {
    if (gObjects.bodies[b] == body) return b;
  }
  return gObjects.bodies.size();
}

void DestroyPhysicsBody(uint8_t* body) {
  using Destroy = void (*)(NewtonBody*);
  static const Destroy destroy = Export<Destroy>(L"newton.dll", "SimNewtonDestroyBody");
  destroy(At<NewtonBody*>(body, kBodyHandle));
}

// Physics' own matrix of the body at index b, as the game's checks expect it from now on.
void TakeOwnBodyWorld(size_t b) {
  Objects& o = gObjects;
  o.handles[b] = At<NewtonBody*>(o.bodies[b], kBodyHandle);
  memcpy(&o.ownBodyWorld[16 * b], &At<float>(o.bodies[b], kWorldMatrix), 64);
}

NewtonBody* HandleOf(const uint8_t* body) {
  for (size_t b = 0; b < gObjects.bodies.size(); ++b) {
    if (gObjects.bodies[b] == body) return gObjects.handles[b];
  }
  return nullptr;
}

// A prop that owns one body, with a mesh of its own (no sub-meshes yet).
uint8_t* NewSingleBodyProp(uint8_t* body) {
  uint8_t* prop = NewObject(kPropBytes);
  At<uint32_t>(prop, kIdentityWord) = ++gObjects.nextWord;
  At<uint8_t**>(prop, kPropBodiesBegin) = &At<uint8_t*>(prop, kArrays);
  At<uint8_t**>(prop, kPropBodiesEnd) = &At<uint8_t*>(prop, kArrays) + 1;
  At<uint8_t*>(prop, kArrays) = body;
  At<uint8_t*>(prop, kPropMesh) = NewMesh(false);
  return prop;
}

void Track(Kind kind, uint8_t* root, int subMesh, const YawTransform& chain, float velocityX) {
  gObjects.tracked.push_back(Tracked{kind, root, subMesh, chain, {}, {0, 0}, velocityX, 0});
}

int FirstSubMeshOf(const uint8_t* mesh) {
  for (size_t i = 0; i < gObjects.subMeshes.size(); ++i) {
    if (At<uint8_t*>(gObjects.subMeshes[i].object, kSubMeshOwner) == mesh) return static_cast<int>(i);
  }
  return -1;
}

void MarkJump(const uint8_t* root, uint32_t tick) {
  for (Tracked& t : gObjects.tracked) t.jumpTick = t.root == root ? tick : t.jumpTick;
}

// The object and its body are destroyed: nothing updates, moves or draws them, and their memory
// holds the freed pattern until the same memory is used again.
void RemoveObject(Removable& r) {
  Objects& o = gObjects;
  if (r.body != nullptr) DestroyPhysicsBody(r.body);
  memset(r.object, kFreedByte, SizeOf(r.object));
  if (r.body != nullptr) memset(r.body, kFreedByte, SizeOf(r.body));
  o.absent.insert(o.absent.end(), {r.object, r.mesh, r.body});
  r.removed = true;
}

// Another object of the same kind is created in the same memory, a step away, with new identity
// words (a Grunt also in another pose). It must never be drawn blended from the old one.
// Returns whether the old object's memory held the freed pattern until then.
bool RecreateObject(Removable& r, uint32_t tick) {
  Objects& o = gObjects;
  const bool untouched = StillFreed(r.object) && (r.body == nullptr || StillFreed(r.body));
  memset(r.object, 0, SizeOf(r.object));
  const float shift = 1.5f * static_cast<float>(1 + ++r.recreations % 3);
  if (r.body != nullptr) {
    memset(r.body, 0, SizeOf(r.body));
    const bool standalone = r.body == r.object;
    const float position[3] = {r.start[0] + shift, r.start[1], r.start[2]};
    const float velocity[3] = {0.3f, 0.0f, standalone ? 0.0f : 0.1f};
    InitBody(r.body, position, velocity, 0.0f, standalone);
    TakeOwnBodyWorld(r.bodyIndex);
  }
  At<uint32_t>(r.object, kIdentityWord) = ++o.nextWord;
  At<uint32_t>(r.mesh, kMeshIdentityWord) = ++o.nextWord;
  if (r.body != nullptr && r.body != r.object) {
    // A prop owns one body and has its mesh.
    At<uint8_t**>(r.object, kPropBodiesBegin) = &At<uint8_t*>(r.object, kArrays);
    At<uint8_t**>(r.object, kPropBodiesEnd) = &At<uint8_t*>(r.object, kArrays) + 1;
    At<uint8_t*>(r.object, kArrays) = r.body;
    At<uint8_t*>(r.object, kPropMesh) = r.mesh;
  }
  if (r.body == nullptr) {
    At<uint32_t>(r.object, kEnemyKind) = 0;  // a Grunt
    At<uint8_t*>(r.object, kEnemyMesh) = r.mesh;
    (&At<float>(r.mesh, kWorldMatrix))[3] = r.start[0] + shift;
    Skins().Recreate(r.mesh, tick);
  }
  for (const uint8_t* gone : {r.object, r.mesh, r.body}) {
    for (size_t i = 0; i < o.absent.size(); ++i) {
      if (o.absent[i] != gone) continue;
      o.absent.erase(o.absent.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  MarkJump(r.body != nullptr ? r.body : r.mesh, tick);
  r.removed = false;
  return untouched;
}

}  // namespace

WorldRig& World3D() { return gRig; }

void WorldRig::Check(const char* name, bool ok, const char* detail) {
  record_->Checked(name, ok, detail);
}

void WorldRig::Init(const Scenario& scenario, HostRecord* record, double stepSeconds) {
  scenario_ = &scenario;
  record_ = record;
  stepSeconds_ = stepSeconds;
  Objects& o = gObjects;
  o.heapLayout = scenario.worldHeapLayout;
  o.heapState = scenario.worldSeed;
  Skins().Init(record);
  const YawTransform kNear{0.0f, {0.0f, 0.3f, 0.0f}};
  // Props with one body: every sub-mesh follows it.
  for (int i = 0; i < scenario.worldProps; ++i) {
    const float position[3] = {-4.0f + 0.5f * i, 0.5f, 3.0f + 0.25f * (i % 8)};
    const float velocity[3] = {0.4f + 0.05f * (i % 10), 0.0f, 0.1f};
    uint8_t* body = NewBody(position, velocity, 0.0f, false);
    uint8_t* prop = NewSingleBodyProp(body);
    uint8_t* mesh = At<uint8_t*>(prop, kPropMesh);
    const int first = AddSubMesh(mesh, body, kNear);
    AddSubMesh(mesh, body, YawTransform{0.4f, {0.1f, 0.0f, 0.2f}}, i % 3 == 2);
    if (i == 0) {
      // One body both sleeps and jumps, so the two events can meet: physics must report a body
      // the game moved even while it sleeps.
      Track(Kind::kProp, body, first, kNear, velocity[0]);
      o.teleported = o.sleeper = body;
    }
    if (i == 2) {
      Track(Kind::kReused, body, first, kNear, velocity[0]);
      o.reusedProp = prop;
    }
    // The first four carry the world's events; the sleeping world leaves them awake.
    if (i >= 4 && (i * 37 + 11) % 100 < scenario.worldAsleepPercent) {
      o.asleep.push_back(body);
      o.awakeUntil.push_back(0);
    }
    o.props.push_back(prop);
  }
  // Props with three turning bodies: sub-meshes attached to a body directly or through a node.
  for (int i = 0; i < scenario.worldMultiProps; ++i) {
    uint8_t* prop = NewObject(kPropBytes);
    At<uint32_t>(prop, kIdentityWord) = ++o.nextWord;
    uint8_t* mesh = NewMesh(false);
    At<uint8_t*>(prop, kPropMesh) = mesh;
    uint8_t** bodies = &At<uint8_t*>(prop, kArrays);
    for (int b = 0; b < 3; ++b) {
      const float position[3] = {2.0f + b * 0.6f, 1.0f, -2.0f - i};
      const float velocity[3] = {0.3f, 0.05f * b, 0.0f};
      bodies[b] = NewBody(position, velocity, 0.4f + 0.2f * b, false);
      const int direct = AddSubMesh(mesh, bodies[b], kNear);
      if (b == 0 && i == 0) Track(Kind::kMultiProp, bodies[b], direct, kNear, velocity[0]);
      uint8_t* node = NewObject(kNodeBytes);
      At<uint8_t*>(node, kEntityParent) = bodies[b];
      o.nodes.push_back(node);
      AddSubMesh(mesh, node, YawTransform{0.2f, {0.0f, 0.1f, 0.1f}});
    }
    At<uint8_t**>(prop, kPropBodiesBegin) = bodies;
    At<uint8_t**>(prop, kPropBodiesEnd) = bodies + 3;
    for (int b = 3; b < 33; ++b) bodies[b] = bodies[b % 3];  // room for the 33-body event
    if (i == 0) o.multiProp = prop;
    o.props.push_back(prop);
  }
  // Bodies no prop owns, each with a render mesh of its own.
  for (int i = 0; i < scenario.worldStandalone; ++i) {
    const float position[3] = {1.0f + i, 2.0f, 1.0f};
    const float velocity[3] = {0.6f, 0.1f, 0.0f};
    uint8_t* body = NewBody(position, velocity, 0.0f, true);
    At<uint32_t>(body, kIdentityWord) = ++o.nextWord;
    uint8_t* mesh = NewMesh(false);
    const int sub = AddSubMesh(mesh, body, kNear);
    if (i == 0) Track(Kind::kStandalone, body, sub, kNear, velocity[0]);
  }
  // A sub-mesh of the three-body prop that follows a body the prop does not own, and a prop with
  // more sub-meshes than a frame can correct (drawn only while that event lasts).
  if (o.multiProp != nullptr && scenario.worldStandalone > 0) {
    uint8_t* node = NewObject(kNodeBytes);
    At<uint8_t*>(node, kEntityParent) = o.bodies[static_cast<size_t>(scenario.worldProps + 3 * scenario.worldMultiProps)];
    o.nodes.push_back(node);
    const int orphan = AddSubMesh(At<uint8_t*>(o.multiProp, kPropMesh), node, kNear, false, true, true);
    o.orphan = o.subMeshes[orphan].object;
  }
  {
    const float position[3] = {0.0f, 3.0f, -6.0f};
    const float velocity[3] = {0.2f, 0.0f, 0.0f};
    uint8_t* body = NewBody(position, velocity, 0.0f, false);
    uint8_t* prop = NewSingleBodyProp(body);
    uint8_t* mesh = At<uint8_t*>(prop, kPropMesh);
    for (int i = 0; i < kCrowd; ++i) {
      const int sub = AddSubMesh(mesh, body, YawTransform{0.0f, {0.01f * i, 0.0f, 0.0f}}, false, false);
      o.subMeshes[sub].crowd = true;
    }
    o.props.push_back(prop);
  }
  // Grunts walk; another kind of enemy stands in for everything the world roots leave alone.
  for (int i = 0; i <= scenario.worldGrunts; ++i) {
    const bool grunt = i < scenario.worldGrunts;
    uint8_t* enemy = NewObject(kEnemyBytes);
    At<uint32_t>(enemy, kIdentityWord) = ++o.nextWord;
    At<uint32_t>(enemy, kEnemyKind) = grunt ? 0 : 3;
    uint8_t* mesh = NewMesh(true);
    At<uint8_t*>(enemy, kEnemyMesh) = mesh;
    ToMatrix(YawTransform{0.3f * i, {-2.0f, 0.0f, 5.0f + i}}, &At<float>(mesh, kWorldMatrix));
    const int sub = AddSubMesh(mesh, mesh, kNear);
    AddSubMesh(mesh, mesh, YawTransform{0.0f, {0.0f, 1.2f, 0.1f}});
    o.enemies.push_back(Enemy{enemy, mesh, {grunt ? 0.8f : 0.0f, 0.0f, 0.2f}, false});
    if (grunt) Skins().AddGrunt(mesh, static_cast<uint32_t>(scenario.poseBones));
    if (i == 0 && grunt) Track(Kind::kGrunt, mesh, sub, kNear, 0.8f);
  }
  // Grunts that animate only while the ninth-target event lasts.
  for (int i = 0; i < kExtraGrunts; ++i) {
    uint8_t* enemy = NewObject(kEnemyBytes);
    At<uint32_t>(enemy, kIdentityWord) = ++o.nextWord;
    uint8_t* mesh = NewMesh(true);
    At<uint8_t*>(enemy, kEnemyMesh) = mesh;
    ToMatrix(YawTransform{0.0f, {4.0f, 0.0f, 8.0f + i}}, &At<float>(mesh, kWorldMatrix));
    AddSubMesh(mesh, mesh, kNear);
    o.enemies.push_back(Enemy{enemy, mesh, {0.1f, 0.0f, 0.0f}, true});
    Skins().AddGrunt(mesh, static_cast<uint32_t>(scenario.poseBones));
  }
  // The ragdoll: four turning bodies falling until they come to rest.
  {
    uint8_t* prop = NewObject(kPropBytes);
    At<uint32_t>(prop, kIdentityWord) = ++o.nextWord;
    uint8_t* mesh = NewMesh(true);
    At<uint8_t*>(prop, kPropMesh) = mesh;
    uint8_t** bodies = &At<uint8_t*>(prop, kArrays);
    for (int b = 0; b < 4; ++b) {
      const float position[3] = {-1.0f + 0.3f * b, 3.0f, 2.0f};
      const float velocity[3] = {0.1f, -0.4f, 0.05f * b};
      bodies[b] = NewBody(position, velocity, 0.5f + 0.1f * b, false);
      o.ragdollBodies.push_back(bodies[b]);
      AddSubMesh(mesh, bodies[b], kNear);
    }
    for (int b = 4; b < 33; ++b) bodies[b] = bodies[b % 4];  // room for the 33-body event
    At<uint8_t**>(prop, kPropBodiesBegin) = bodies;
    At<uint8_t**>(prop, kPropBodiesEnd) = bodies + 4;
    Skins().AddRagdoll(mesh, o.ragdollBodies);
    o.ragdoll = prop;
    o.props.push_back(prop);
  }
  // What the removal events destroy and create again: a single-body prop, a body no prop owns and
  // the second Grunt, each tracked.
  if (scenario.worldProps > 3) {
    uint8_t* prop = o.props[3];
    uint8_t* body = At<uint8_t*>(prop, kArrays);
    uint8_t* mesh = At<uint8_t*>(prop, kPropMesh);
    o.removables.push_back(Removable{"prop_remove", prop, body, mesh, BodyIndex(body), {}, false, 0});
    Track(Kind::kRecreated, body, FirstSubMeshOf(mesh), kNear, 0.0f);
  }
  if (scenario.worldStandalone > 1) {
    uint8_t* body = o.bodies[static_cast<size_t>(scenario.worldProps + 3 * scenario.worldMultiProps + 1)];
    for (const SubMesh& sub : o.subMeshes) {
      if (sub.parent != body) continue;
      uint8_t* mesh = At<uint8_t*>(sub.object, kSubMeshOwner);
      o.removables.push_back(Removable{"body_remove", body, body, mesh, BodyIndex(body), {}, false, 0});
      Track(Kind::kRecreated, body, FirstSubMeshOf(mesh), kNear, 0.0f);
      break;
    }
  }
  if (scenario.worldGrunts > 1) {
    const Enemy& grunt = o.enemies[1];
    o.removables.push_back(Removable{"grunt_remove", grunt.object, nullptr, grunt.mesh, 0, {}, false, 0});
    Track(Kind::kRecreated, grunt.mesh, FirstSubMeshOf(grunt.mesh), kNear, 0.0f);
  }
  for (Removable& r : o.removables) {
    const float* m = &At<float>(r.body != nullptr ? r.body : r.mesh, kWorldMatrix);
    r.start[0] = m[3];
    r.start[1] = m[7];
    r.start[2] = m[11];
  }
  o.readOnlyEvents = EventCursor(scenario, "world_readonly");
  o.poseReadOnlyEvents = EventCursor(scenario, "pose_readonly");
  o.ownBodyWorld.resize(o.bodies.size() * 16);
  for (size_t b = 0; b < o.bodies.size(); ++b) memcpy(&o.ownBodyWorld[16 * b], &At<float>(o.bodies[b], kWorldMatrix), 64);
  UpdateTransformTree();
}

void WorldRig::UpdateTransformTree() {
  for (uint8_t* node : gObjects.nodes) {
    Matrix local;
    ToMatrix(YawTransform{0.0f, {0.05f, 0.0f, 0.0f}}, local);
    Multiply(&At<float>(At<uint8_t*>(node, kEntityParent), kWorldMatrix), local, &At<float>(node, kWorldMatrix));
  }
  for (SubMesh& s : gObjects.subMeshes) {
    if (Absent(s.parent)) continue;  // a destroyed body's sub-meshes are not drawn
    Matrix local;
    ToMatrix(s.local, local);
    Multiply(&At<float>(s.parent, kWorldMatrix), local, &At<float>(s.object, kWorldMatrix));
    memcpy(s.own, &At<float>(s.object, kWorldMatrix), sizeof(Matrix));
  }
}

void WorldRig::Step(uint32_t tick) {
  Objects& o = gObjects;
  bool ownBodies = true, ownCaches = true;
  for (size_t b = 0; b < o.bodies.size(); ++b) {
    if (Absent(o.bodies[b])) continue;
    ownBodies = ownBodies && memcmp(&o.ownBodyWorld[16 * b], &At<float>(o.bodies[b], kWorldMatrix), 64) == 0;
  }
  for (const SubMesh& s : o.subMeshes) ownCaches = ownCaches && memcmp(s.own, &At<float>(s.object, kWorldMatrix), 64) == 0;
  Check("bodies-hold-what-physics-made", ownBodies, "at a step's start every body's transform is physics' own");
  Check("world-caches-are-the-engines", ownCaches, "at a step's start every sub-mesh cache is the engine's own");

  ApplyEvents(tick);
  static const Update update = Export<Update>(L"newton.dll", "SimNewtonUpdate");
  update(static_cast<float>(stepSeconds_), EventActive(*scenario_, "world_callbacks", tick) ? 80 : 1,
         reinterpret_cast<void (*)(const NewtonBody*, const float*, int)>(engine_cPhysicsBodyNewton_TransformCallback));
  // What physics made of each body, for the checks (the workers have finished).
  using BodyMatrix = void (*)(const NewtonBody*, float*);
  static const BodyMatrix bodyMatrix = Export<BodyMatrix>(L"newton.dll", "SimNewtonBodyMatrix");
  bool physicsOwn = true;
  for (size_t b = 0; b < o.bodies.size(); ++b) {
    if (Absent(o.bodies[b])) continue;
    Matrix m;
    bodyMatrix(o.handles[b], m);
    physicsOwn = physicsOwn && memcmp(m, &At<float>(o.bodies[b], kWorldMatrix), 64) == 0;
    memcpy(&o.ownBodyWorld[16 * b], m, 64);
  }
  Check("transform-callback-delivered", physicsOwn, "every moved body's transform reached the engine");

  using OnUpdate = void(THISCALL*)(void*, float);
  const float dt = static_cast<float>(stepSeconds_);
  for (uint8_t* prop : o.props) {
    if (!Absent(prop)) reinterpret_cast<OnUpdate>(engine_iLuxProp_OnUpdate)(prop, dt);
  }
  for (size_t i = 0; i < o.enemies.size(); ++i) {
    const Enemy& e = o.enemies[i];
    if (Absent(e.object)) continue;
    if (e.extra && !EventActive(*scenario_, "pose_ninth", tick)) continue;
    if (i == 0 && EventActive(*scenario_, "enemy_skip", tick)) continue;  // skips its update
    reinterpret_cast<OnUpdate>(engine_iLuxEnemy_OnUpdate)(e.object, dt);
  }
  UpdateTransformTree();
  Skins().EndStep(tick);

  for (Tracked& t : o.tracked) {
    t.at[tick % 2] = FromMatrix(&At<float>(t.root, kWorldMatrix));
    t.tickAt[tick % 2] = tick;
  }
}

void WorldRig::ApplyEvents(uint32_t tick) {
  Objects& o = gObjects;
  const Scenario& s = *scenario_;
  using Move = void (*)(NewtonBody*, const float*);
  using SetSleeping = void (*)(NewtonBody*, int);
  static const Move move = Export<Move>(L"newton.dll", "SimNewtonMove");
  static const SetSleeping setSleeping = Export<SetSleeping>(L"newton.dll", "SimNewtonSetSleeping");
  if (o.teleported != nullptr && EventActive(s, "world_teleport", tick)) {
    const float jump[3] = {0.76f, 0.0f, 0.0f};
    move(HandleOf(o.teleported), jump);
    MarkJump(o.teleported, tick);
  }
  if (o.sleeper != nullptr) setSleeping(HandleOf(o.sleeper), EventActive(s, "world_sleep", tick) ? 1 : 0);
  for (size_t i = 0; i < o.asleep.size(); ++i) {
    NewtonBody* const handle = At<NewtonBody*>(o.asleep[i], kBodyHandle);
    if (tick == 1) setSleeping(handle, 1);
    if (tick % kWakeEveryTicks == 0 && (tick / kWakeEveryTicks) % o.asleep.size() == i) {
      o.awakeUntil[i] = tick + kAwakeTicks;
      setSleeping(handle, 0);
    } else if (o.awakeUntil[i] == tick) {
      o.awakeUntil[i] = 0;
      setSleeping(handle, 1);
    }
  }
  if (o.multiProp != nullptr) {
    uint8_t** bodies = &At<uint8_t*>(o.multiProp, kArrays);
    At<uint8_t**>(o.multiProp, kPropBodiesBegin) = EventActive(s, "world_reversed_bodies", tick) ? bodies + 3 : bodies;
    At<uint8_t**>(o.multiProp, kPropBodiesEnd) = EventActive(s, "world_reversed_bodies", tick) ? bodies
                                                 : EventActive(s, "world_prop33", tick)        ? bodies + 33
                                                                                               : bodies + 3;
  }
  if (o.ragdoll != nullptr) {
    uint8_t** bodies = &At<uint8_t*>(o.ragdoll, kArrays);
    At<uint8_t**>(o.ragdoll, kPropBodiesEnd) = EventActive(s, "ragdoll_one_body", tick) ? bodies + 1
                                               : EventActive(s, "ragdoll_33", tick)     ? bodies + 33
                                                                                        : bodies + 4;
    for (uint8_t* body : o.ragdollBodies) setSleeping(HandleOf(body), EventStarted(s, "ragdoll_rest", tick) ? 1 : 0);
  }
  if (!o.enemies.empty()) {
    Skins().SetBones(o.enemies[0].mesh, EventStarted(s, "pose_bone_count", tick) ? 20 : static_cast<uint32_t>(s.poseBones));
  }
  if (o.reusedProp != nullptr && EventActive(s, "world_reuse_near", tick)) {
    // Another prop takes this one's memory and its body's, close by: only the identity words tell
    // the two apart, and the old one must not be blended into the new.
    uint8_t* body = At<uint8_t*>(o.reusedProp, kArrays);
    At<uint32_t>(o.reusedProp, kIdentityWord) = ++o.nextWord;
    At<uint32_t>(At<uint8_t*>(o.reusedProp, kPropMesh), kMeshIdentityWord) = ++o.nextWord;
    const float shift[3] = {0.3f, 0.0f, 0.0f};
    move(HandleOf(body), shift);
    MarkJump(body, tick);
  }
  if (!o.enemies.empty() && EventActive(s, "grunt_reuse_near", tick)) {
    // A new Grunt in the first one's memory with the same mesh, a step away, in another pose.
    Enemy& e = o.enemies[0];
    At<uint32_t>(e.object, kIdentityWord) = ++o.nextWord;
    At<uint32_t>(e.mesh, kMeshIdentityWord) = ++o.nextWord;
    (&At<float>(e.mesh, kWorldMatrix))[3] += 0.3f;
    Skins().Recreate(e.mesh, tick);
    MarkJump(e.mesh, tick);
  }
  if (o.reusedProp != nullptr && EventActive(s, "world_reuse", tick)) {
    // The prop and its body are destroyed and other objects take the prop's memory and new memory
    // for the body: new words, a body elsewhere. The old body's memory goes back to be reused.
    uint8_t* old = At<uint8_t*>(o.reusedProp, kArrays);
    const size_t index = BodyIndex(old);
    DestroyPhysicsBody(old);
    const float position[3] = {6.0f, 0.5f, -3.0f};
    const float velocity[3] = {0.45f, 0.0f, 0.1f};
    uint8_t* body = NewObject(kBodyBytes);
    InitBody(body, position, velocity, 0.0f, false);
    FreeObject(old);
    o.bodies[index] = body;
    TakeOwnBodyWorld(index);
    At<uint32_t>(o.reusedProp, kIdentityWord) = ++o.nextWord;
    At<uint8_t*>(o.reusedProp, kArrays) = body;
    uint8_t* mesh = At<uint8_t*>(o.reusedProp, kPropMesh);
    At<uint32_t>(mesh, kMeshIdentityWord) = ++o.nextWord;
    for (SubMesh& sub : o.subMeshes) {
      if (sub.parent != old) continue;
      sub.parent = body;
      At<uint8_t*>(sub.object, kEntityParent) = body;
    }
    for (Tracked& t : o.tracked) t.root = t.root == old ? body : t.root;
    MarkJump(body, tick);
  }
  for (Removable& r : o.removables) {
    const bool removed = EventActive(s, r.event, tick);
    if (removed && !r.removed) RemoveObject(r);
    if (!removed && r.removed) {
      Check("destroyed-objects-untouched", RecreateObject(r, tick),
            "nothing wrote a destroyed object's memory before the game created another in it");
    }
  }
}

namespace {

// Where an object lies in the world's arena: the same in every run, whatever else the process
// holds (a pointer would differ with the plug-in loaded).
uint64_t Place(const uint8_t* object) {
  return object == nullptr ? ~uint64_t{0} : static_cast<uint64_t>(object - gObjects.arena);
}

void Matrix16(LogicDigest& d, LogicPart part, const char* field, const uint8_t* object, size_t offset) {
  d.Add(part, field, object + offset, sizeof(Matrix));
}

}  // namespace

void WorldRig::DigestLogic(LogicDigest& d, uint32_t tick) const {
  const Objects& o = gObjects;
  using BodyState = void (*)(const NewtonBody*, float*, int*);
  static const BodyState bodyState = Export<BodyState>(L"newton.dll", "SimNewtonBodyState");
  for (size_t b = 0; b < o.bodies.size(); ++b) {
    const uint8_t* body = o.bodies[b];
    d.Value(kLogicBodies, "place", Place(body));
    if (Absent(body)) continue;
    Matrix16(d, kLogicBodies, "matrix_block", body, kBodyMatrixBlock);
    Matrix16(d, kLogicBodies, "world_matrix", body, kWorldMatrix);
    d.Value(kLogicBodies, "active", body[kActive]);
    float motion[8];
    int flags[3];
    bodyState(o.handles[b], motion, flags);
    d.Add(kLogicBodies, "physics_position_velocity_yaw_rate", motion, sizeof(motion));
    d.Add(kLogicBodies, "physics_sleep_moved_destroyed", flags, sizeof(flags));
  }
  for (const uint8_t* prop : o.props) {
    d.Value(kLogicEntities, "prop_place", Place(prop));
    if (Absent(prop)) continue;
    uint8_t* p = const_cast<uint8_t*>(prop);
    d.Value(kLogicEntities, "prop_identity", At<uint32_t>(p, kIdentityWord));
    d.Value(kLogicEntities, "prop_ineligible", prop[kPropIneligibleFlag]);
    Matrix16(d, kLogicEntities, "prop_world_matrix", prop, kWorldMatrix);
    d.Value(kLogicEntities, "prop_mesh", Place(At<uint8_t*>(p, kPropMesh)));
    for (uint8_t** body = At<uint8_t**>(p, kPropBodiesBegin); body < At<uint8_t**>(p, kPropBodiesEnd); ++body) {
      d.Value(kLogicEntities, "prop_bodies", Place(*body));
    }
  }
  for (const uint8_t* mesh : o.meshes) {
    if (Absent(mesh)) continue;
    uint8_t* m = const_cast<uint8_t*>(mesh);
    d.Value(kLogicEntities, "mesh_identity", At<uint32_t>(m, kMeshIdentityWord));
    d.Value(kLogicEntities, "mesh_active", mesh[kActive]);
    Matrix16(d, kLogicEntities, "mesh_world_matrix", mesh, kWorldMatrix);
  }
  for (const SubMesh& s : o.subMeshes) {
    d.Value(kLogicEntities, "submesh_parent", Place(s.parent));
    d.Value(kLogicEntities, "submesh_visible", s.object[kSubMeshVisible]);
    Matrix16(d, kLogicEntities, "submesh_cache", s.object, kWorldMatrix);
  }
  for (const uint8_t* node : o.nodes) Matrix16(d, kLogicEntities, "node_world_matrix", node, kWorldMatrix);
  for (const Enemy& e : o.enemies) {
    d.Value(kLogicEnemies, "place", Place(e.object));
    if (Absent(e.object)) continue;
    uint8_t* object = const_cast<uint8_t*>(e.object);
    d.Value(kLogicEnemies, "identity", At<uint32_t>(object, kIdentityWord));
    d.Value(kLogicEnemies, "kind", At<uint32_t>(object, kEnemyKind));
    d.Value(kLogicEnemies, "disabled", object[kEnemyDisabled]);
    d.Value(kLogicEnemies, "mesh", Place(At<uint8_t*>(object, kEnemyMesh)));
    d.Add(kLogicEnemies, "velocity", e.velocity, sizeof(e.velocity));
  }
  Skins().DigestLogic(d, tick);
  for (const Removable& r : o.removables) {
    d.Value(kLogicWorldState, "removed", r.removed);
    d.Value(kLogicWorldState, "recreations", r.recreations);
  }
  d.Add(kLogicWorldState, "awake_until", o.awakeUntil.data(), o.awakeUntil.size() * sizeof(uint32_t));
  for (const uint8_t* block : o.freeBlocks) d.Value(kLogicWorldState, "free_blocks", Place(block));
  d.Value(kLogicWorldState, "arena_used", o.used);
  d.Value(kLogicWorldState, "next_identity", o.nextWord);
  d.Value(kLogicWorldState, "heap_random", o.heapState);
}

void WorldRig::BodyTransformChanged(void* body) {
  uint8_t* b = static_cast<uint8_t*>(body);
  memcpy(&At<float>(b, kWorldMatrix), &At<float>(b, kBodyMatrixBlock), sizeof(Matrix));
}

void WorldRig::PropOnUpdate(void* prop) {
  uint8_t* p = static_cast<uint8_t*>(prop);
  uint8_t* first = *At<uint8_t**>(p, kPropBodiesBegin);
  memcpy(&At<float>(p, kWorldMatrix), &At<float>(first, kWorldMatrix), sizeof(Matrix));
}

void WorldRig::EnemyOnUpdate(void* enemy, float dt) {
  for (Enemy& e : gObjects.enemies) {
    if (e.object != enemy) continue;
    float* m = &At<float>(e.mesh, kWorldMatrix);
    m[3] += e.velocity[0] * dt;
    m[7] += e.velocity[1] * dt;
    m[11] += e.velocity[2] * dt;
    Skins().Advance(e.mesh);
  }
}

void WorldRig::BeforeRender(const FrameTruth& truth, uint32_t completedTicks) {
  truth_ = truth;
  completedTicks_ = completedTicks;
  Skins().BeforeRender(truth, completedTicks);
}

void WorldRig::Draw() {
  Objects& o = gObjects;
  using GetModel = const float*(THISCALL*)(void*, void*);
  const auto getModel = reinterpret_cast<GetModel>(engine_cSubMeshEntity_GetModelMatrix);
  std::vector<const float*>& drawn = o.drawn;
  drawn.assign(o.subMeshes.size(), nullptr);
  const bool crowd = EventActive(*scenario_, "world_submeshes513", completedTicks_);
  const bool ragdollHidden = EventActive(*scenario_, "ragdoll_hidden", completedTicks_);
  uint8_t* ragdollMesh = o.ragdoll != nullptr ? At<uint8_t*>(o.ragdoll, kPropMesh) : nullptr;
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceCounter(&start);
  for (size_t i = 0; i < o.subMeshes.size(); ++i) {
    uint8_t* sub = o.subMeshes[i].object;
    if (o.subMeshes[i].crowd && !crowd) continue;
    if (ragdollHidden && At<uint8_t*>(sub, kSubMeshOwner) == ragdollMesh) continue;
    if (Absent(At<uint8_t*>(sub, kSubMeshOwner))) continue;
    ++At<int32_t>(sub, kSubMeshRenderCounter);
    drawn[i] = getModel(sub, nullptr);
  }
  QueryPerformanceCounter(&end);
  QueryPerformanceFrequency(&frequency);
  const double modelUs = static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
  for (const Enemy& e : o.enemies) {
    if (!Absent(e.mesh)) Skins().Draw(e.mesh);
  }
  if (!ragdollHidden && ragdollMesh != nullptr) Skins().Draw(ragdollMesh);
  if (!o.enemies.empty() && o.poseReadOnlyEvents.Take(completedTicks_) >= 0) {
    // After the renderer has used it, so only the plug-in's restore meets the protection.
    Skins().ProtectForThisRender(o.enemies[0].mesh);
  }
  o.readOnlyThisFrame = false;
  if (o.orphan != nullptr && o.readOnlyEvents.Take(completedTicks_) >= 0) {
    DWORD previous;
    VirtualProtect(o.orphan, SizeOf(o.orphan), PAGE_READONLY, &previous);
    o.readOnlyThisFrame = true;
  }

  if (!scenario_->judgeFrames) {
    std::snprintf(fields_, sizeof(fields_), "model_us=%.2f", modelUs);
    return;
  }
  // The tracked objects against the blend of their two ticks at the game's own fraction.
  double worst = 0;
  int corrected = 0;
  unsigned mask = 0;  // bit i: tracked object i was drawn corrected
  double shown[3] = {NAN, NAN, NAN};  // prop, standalone body, Grunt: simulation ticks shown
  for (const Tracked& t : o.tracked) {
    const YawTransform& newest = t.at[completedTicks_ % 2];
    const YawTransform& older = t.at[(completedTicks_ + 1) % 2];
    const bool pair = t.tickAt[completedTicks_ % 2] == completedTicks_ &&
                      t.tickAt[(completedTicks_ + 1) % 2] + 1 == completedTicks_;
    const double alpha = truth_.valid && pair ? truth_.alpha : 1.0;
    const YawTransform want = Compose(Blend(older, newest, alpha), t.chain);
    const float* m = drawn[t.subMesh];
    if (m == nullptr) continue;
    mask |= m != &At<float>(o.subMeshes[t.subMesh].object, kWorldMatrix) ? 1u << (&t - o.tracked.data()) : 0u;
    if (t.jumpTick != 0 && t.jumpTick == completedTicks_) {
      // Teleported or replaced at the newest tick: only its new place may be drawn.
      const YawTransform at = Compose(newest, t.chain);
      const double d[3] = {m[3] - at.t[0], m[7] - at.t[1], m[11] - at.t[2]};
      Check("jump-never-smeared", std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) <= 1e-3,
            "an object that jumped in its last tick is drawn at its new place only");
      continue;
    }
    const double d[3] = {m[3] - want.t[0], m[7] - want.t[1], m[11] - want.t[2]};
    const double distance = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(distance <= worst)) worst = distance;
    corrected += m != &At<float>(o.subMeshes[t.subMesh].object, kWorldMatrix);
    const int column = t.kind == Kind::kProp ? 0 : t.kind == Kind::kStandalone ? 1 : t.kind == Kind::kGrunt ? 2 : -1;
    if (column >= 0) {
      shown[column] = completedTicks_ + (m[3] - o.subMeshes[t.subMesh].own[3]) / (t.velocityX * stepSeconds_);
    }
  }
  std::snprintf(fields_, sizeof(fields_),
                "world_tracked=%u world_corrected=%d world_mask=%u world_err=%.3g prop_ticks=%.6f "
                "body_ticks=%.6f grunt_ticks=%.6f model_us=%.2f pose_err=%.3g pose_blended=%d bone_ticks=%.6f",
                static_cast<unsigned>(o.tracked.size()), corrected, mask, worst, shown[0], shown[1], shown[2], modelUs,
                Skins().worstError(), Skins().blended(), Skins().boneTicks());
}

void WorldRig::AfterRender() {
  Objects& o = gObjects;
  if (o.readOnlyThisFrame) {
    // The plug-in could not write this cache back; the engine repairs it before its next step.
    DWORD previous;
    VirtualProtect(o.orphan, SizeOf(o.orphan), PAGE_READWRITE, &previous);
    for (SubMesh& s : o.subMeshes) {
      if (s.object != o.orphan) continue;
      record_->Line("fact name=world-cache-left-written value=%d",
                    memcmp(s.own, &At<float>(s.object, kWorldMatrix), 64) != 0 ? 1 : 0);
      memcpy(&At<float>(s.object, kWorldMatrix), s.own, 64);
    }
  }
  Skins().AfterRender();
  if (!scenario_->judgeFrames) return;
  bool own = true;
  for (const SubMesh& s : o.subMeshes) own = own && memcmp(s.own, &At<float>(s.object, kWorldMatrix), 64) == 0;
  Check("world-caches-restored", own, "after the render every sub-mesh cache is the engine's own again");
}
