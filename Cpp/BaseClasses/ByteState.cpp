#include "ByteState.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "GenAssert.h"
#include "StandardErrors.h"
#include "primes.h"

ByteState::ByteState(int size, const char* source) : size(size > 0 ? size : 0), source_(source) {
  data = new (std::nothrow) char[this->size > 0 ? this->size : 1];
  if (!data) MemoryAllocationError();
}

ByteState::~ByteState() { delete[] data; }

int ByteState::hash() {
  // Each byte as a signed 8-bit value times the weight of its position; the
  // sum wraps around in 32 bits.
  std::uint32_t h = 0;
  for (int i = 0; i < size; i++)
    h += static_cast<std::uint32_t>(static_cast<int>(static_cast<signed char>(data[i])) * primes[i % 256]);
  return static_cast<int>(h);
}

int ByteState::compare(State const& other) const {
  const ByteState* o = dynamic_cast<const ByteState*>(&other);
  if (!o) return 1;
  // Both states belong to the same model and so have the same length; the
  // shorter length is used anyway so that a mismatch can never read beyond a
  // buffer.
  int n = size < o->size ? size : o->size;
  int c = std::memcmp(data, o->data, static_cast<std::size_t>(n));
  if (c < 0) return -1;
  if (c > 0) return 1;
  if (size == o->size) return 0;
  return size < o->size ? -1 : 1;
}

void ByteState::print() {
  for (int i = 0; i < size; i++) std::printf("%5d", static_cast<int>(static_cast<signed char>(data[i])));
  std::printf("\n");
}

bool ByteState::fwriteState(FILE* f) {
  std::int32_t n = size;
  if (std::fwrite(&n, sizeof n, 1, f) != 1) return true;
  return std::fwrite(data, 1, static_cast<std::size_t>(size), f) < static_cast<std::size_t>(size);
}

bool ByteState::freadState(FILE* f) {
  std::int32_t n = 0;
  if (std::fread(&n, sizeof n, 1, f) != 1) return true;
  // The buffer keeps its size: a record that would not fit (written for
  // another model) is refused instead of overrunning the buffer.
  if (n < 0 || n > size) return true;
  return std::fread(data, 1, static_cast<std::size_t>(n), f) < static_cast<std::size_t>(n);
}

State& ByteState::operator=(State const& other) {
  if (this == &other) return *this;
  const ByteState* _localS = dynamic_cast<const ByteState*>(&other);
  GEN_ASSERT(_localS && size == _localS->size, "size == _localS->size", source_);
  std::memcpy(data, _localS->data, static_cast<std::size_t>(size));
  return *this;
}
