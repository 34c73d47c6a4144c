// Stand-in for the Newton physics DLL: a body handle carries the host body object and whether
// the body sleeps.
#include <windows.h>

extern "C" {

struct NewtonBody {
  void* userData;
  int sleeping;
};

__declspec(dllexport) void* NewtonBodyGetUserData(const NewtonBody* body) {
  return body != nullptr ? body->userData : nullptr;
}

__declspec(dllexport) int NewtonBodyGetSleepState(const NewtonBody* body) {
  return body != nullptr ? body->sleeping : 1;
}
}
