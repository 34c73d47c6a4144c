// Stand-in for the Newton physics DLL: bodies that carry the host body object as user data, move
// at constant velocity and turn at a constant rate about the vertical axis, and may sleep. Each
// update integrates the awake bodies on two worker threads, and every worker calls the host's
// transform callback for each body it moved, as Newton does from its own threads. A body the game
// moves itself reports its new place at the next update even while it sleeps, so the engine never
// holds a transform physics no longer has. A destroyed body's slot is the next one created.
#include <windows.h>

#include <cmath>

extern "C" {

struct NewtonBody {
  void* userData;
  int sleeping;
  float position[3];
  float velocity[3];  // units per second
  float yaw;
  float yawRate;  // radians per second
  int moved;      // moved by the game since the last update
  int destroyed;
};

using TransformCallback = void (*)(const NewtonBody* body, const float* matrix, int threadIndex);

}  // extern "C"

namespace {

constexpr int kMaxBodies = 2048;
constexpr int kWorkers = 2;

NewtonBody gBodies[kMaxBodies];
volatile LONG gBodyCount = 0;
int gFreeSlots[kMaxBodies];  // destroyed bodies' slots, the latest last
int gFreeCount = 0;

struct Worker {
  HANDLE start = nullptr;
  HANDLE done = nullptr;
  int index = 0;
};
Worker gWorkers[kWorkers];
TransformCallback gCallback = nullptr;
float gStepSeconds = 0.0f;
int gSubsteps = 1;
bool gStarted = false;

void MatrixOf(const NewtonBody& body, float* m) {
  const float c = static_cast<float>(std::cos(body.yaw)), s = static_cast<float>(std::sin(body.yaw));
  const float rows[16] = {c, 0, s, body.position[0], 0, 1, 0, body.position[1],
                          -s, 0, c, body.position[2], 0, 0, 0, 1};
  for (int i = 0; i < 16; ++i) m[i] = rows[i];
}

// Bodies are split between the workers by index parity.
DWORD WINAPI WorkerLoop(void* parameter) {
  Worker& worker = *static_cast<Worker*>(parameter);
  for (;;) {
    WaitForSingleObject(worker.start, INFINITE);
    const int count = gBodyCount;
    const float substep = gStepSeconds / static_cast<float>(gSubsteps);
    for (int step = 0; step < gSubsteps; ++step) {
      for (int i = worker.index; i < count; i += kWorkers) {
        NewtonBody& body = gBodies[i];
        if (body.destroyed || (body.sleeping && !body.moved)) continue;
        body.moved = 0;
        if (!body.sleeping) {
          for (int a = 0; a < 3; ++a) body.position[a] += body.velocity[a] * substep;
          body.yaw += body.yawRate * substep;
        }
        float matrix[16];
        MatrixOf(body, matrix);
        if (gCallback != nullptr) gCallback(&body, matrix, worker.index);
      }
    }
    SetEvent(worker.done);
  }
}

}  // namespace

extern "C" {

__declspec(dllexport) void* NewtonBodyGetUserData(const NewtonBody* body) {
  return body != nullptr ? body->userData : nullptr;
}

__declspec(dllexport) int NewtonBodyGetSleepState(const NewtonBody* body) {
  return body != nullptr ? body->sleeping : 1;
}

// Test hooks of the stand-in: the game builds its physics world through these.
__declspec(dllexport) NewtonBody* SimNewtonCreateBody(void* userData, const float* position,
                                                     const float* velocity, float yawRate) {
  const LONG index = gFreeCount > 0 ? gFreeSlots[--gFreeCount] : InterlockedIncrement(&gBodyCount) - 1;
  if (index >= kMaxBodies) return nullptr;
  NewtonBody& body = gBodies[index];
  body = NewtonBody{};
  body.userData = userData;
  for (int a = 0; a < 3; ++a) {
    body.position[a] = position[a];
    body.velocity[a] = velocity[a];
  }
  body.yawRate = yawRate;
  return &body;
}

// Between updates only, like every call the game makes here.
__declspec(dllexport) void SimNewtonDestroyBody(NewtonBody* body) {
  *body = NewtonBody{};
  body->destroyed = 1;
  gFreeSlots[gFreeCount++] = static_cast<int>(body - gBodies);
}

__declspec(dllexport) void SimNewtonSetSleeping(NewtonBody* body, int sleeping) { body->sleeping = sleeping; }

__declspec(dllexport) void SimNewtonMove(NewtonBody* body, const float* delta) {
  for (int a = 0; a < 3; ++a) body->position[a] += delta[a];
  body->moved = 1;
}

__declspec(dllexport) void SimNewtonBodyMatrix(const NewtonBody* body, float* matrix) { MatrixOf(*body, matrix); }

// What physics keeps of a body, for the game's digest of its logic: position, velocity, yaw and
// yaw rate; whether it sleeps, was moved by the game, is destroyed.
__declspec(dllexport) void SimNewtonBodyState(const NewtonBody* body, float* motion, int* flags) {
  for (int a = 0; a < 3; ++a) {
    motion[a] = body->position[a];
    motion[3 + a] = body->velocity[a];
  }
  motion[6] = body->yaw;
  motion[7] = body->yawRate;
  flags[0] = body->sleeping;
  flags[1] = body->moved;
  flags[2] = body->destroyed;
}

// One physics step of dt seconds in `substeps` parts (each reports its moved bodies); returns
// when every worker has finished.
__declspec(dllexport) void SimNewtonUpdate(float dt, int substeps, TransformCallback callback) {
  if (!gStarted) {
    for (int w = 0; w < kWorkers; ++w) {
      gWorkers[w].index = w;
      gWorkers[w].start = CreateEventW(nullptr, FALSE, FALSE, nullptr);
      gWorkers[w].done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
      CloseHandle(CreateThread(nullptr, 0, &WorkerLoop, &gWorkers[w], 0, nullptr));
    }
    gStarted = true;
  }
  gCallback = callback;
  gStepSeconds = dt;
  gSubsteps = substeps < 1 ? 1 : substeps;
  HANDLE done[kWorkers];
  for (int w = 0; w < kWorkers; ++w) {
    done[w] = gWorkers[w].done;
    SetEvent(gWorkers[w].start);
  }
  WaitForMultipleObjects(kWorkers, done, TRUE, INFINITE);
}

}  // extern "C"
