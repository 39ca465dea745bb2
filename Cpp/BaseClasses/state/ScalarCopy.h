#ifndef SCALAR_COPY_H
#define SCALAR_COPY_H

#include <cstring>
#include <type_traits>

// Copies of scalar values (bool, char, short, int, float, double) into and
// out of raw state memory, in the machine's native width and byte order.
// The state memory has no alignment and no object of type T lives in it, so
// every access goes through memcpy. A bool is read as a byte and converted
// (any non-zero byte is true), so that stray bytes never form an invalid bool.

template <class T>
void writeArray(T* src, void* dst, int n) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (n > 0) std::memcpy(dst, src, sizeof(T) * static_cast<size_t>(n));
}

template <class T>
void readMemory2(void* src, T* out) {
  static_assert(std::is_trivially_copyable_v<T>);
  if constexpr (std::is_same_v<T, bool>) {
    unsigned char byte;
    std::memcpy(&byte, src, 1);
    *out = byte != 0;
  } else {
    std::memcpy(out, src, sizeof(T));
  }
}

template <class T>
void readArray(T* dst, void* src, int n) {
  static_assert(std::is_trivially_copyable_v<T>);
  if constexpr (std::is_same_v<T, bool>) {
    for (int i = 0; i < n; i++) readMemory2(static_cast<unsigned char*>(src) + i, dst + i);
  } else if (n > 0) {
    std::memcpy(dst, src, sizeof(T) * static_cast<size_t>(n));
  }
}

template <class T>
void writeMemory(T value, void* dst) {
  static_assert(std::is_trivially_copyable_v<T>);
  std::memcpy(dst, &value, sizeof(T));
}

#endif
