// Stand-in for the Newton physics DLL: a body handle's user data is the host body object.
#include <windows.h>

extern "C" {

struct NewtonBody {
  void* userData;
};

__declspec(dllexport) void* NewtonBodyGetUserData(const NewtonBody* body) {
  return body != nullptr ? body->userData : nullptr;
}
}
