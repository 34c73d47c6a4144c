#pragma once
// Room for a process-wide object that starts out zeroed, for the object to be built in at its first
// use. Declared as a plain function-local static, an object whose members start at anything but zero
// is laid out whole in the DLL's initialised data (a table of 670 KB was). The room must be a
// function-local static of a plain function: a template's own statics land in initialised data too.
//   static ZeroedRoom<T> room;
//   static T& object = room.Build();

#include <new>

namespace driftglass {

template <typename T>
struct ZeroedRoom {
  alignas(T) unsigned char bytes[sizeof(T)];
  T& Build() { return *new (bytes) T(); }
};

}  // namespace driftglass
