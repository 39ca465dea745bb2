#include "RateInfoType.h"

#include <iostream>
#include <new>

#include "GenError.h"
#include "MemoryBudget.h"

StateNumberList& StateNumberList::operator=(StateNumberList&& other) noexcept {
  chunks_ = std::move(other.chunks_);
  size_ = other.size_;
  bytes_ = other.bytes_;
  last_ = other.last_;
  other.chunks_.clear();
  other.size_ = 0;
  other.bytes_ = 0;
  other.last_ = 0;
  return *this;
}

void StateNumberList::addChunk(MemoryBudget* budget) {
  // Chunks double up to kMaxChunk, so a short list stays small and a long one
  // wastes at most one chunk's free end.
  std::size_t size = bytes_ == 0 ? kFirstChunk : bytes_;
  if (size > kMaxChunk) size = kMaxChunk;
  MemoryBudget::reserve(budget, size);
  auto* bytes = new (std::nothrow) unsigned char[size];
  if (bytes == nullptr) {
    MemoryBudget::release(budget, size);
    MemoryBudget::allocationFailed(budget, size);
  }
  chunks_.push_back(Chunk{std::unique_ptr<unsigned char[]>(bytes), size, 0});
  bytes_ += size;
}

void StateNumberList::push_back(std::uint32_t number, MemoryBudget* budget) {
  if (chunks_.empty() || chunks_.back().size - chunks_.back().used < kMaxCode) addChunk(budget);
  // The difference to the previous number, doubled, with the lowest bit set
  // when the number went down.
  std::uint64_t code = number >= last_ ? std::uint64_t{number - last_} << 1 : (std::uint64_t{last_ - number} << 1) | 1;
  Chunk& chunk = chunks_.back();
  unsigned char* p = chunk.bytes.get() + chunk.used;
  while (code >= 0x80) {
    *p++ = static_cast<unsigned char>(code | 0x80);
    code >>= 7;
  }
  *p++ = static_cast<unsigned char>(code);
  chunk.used = static_cast<std::size_t>(p - chunk.bytes.get());
  last_ = number;
  size_++;
}

std::uint32_t StateNumberList::operator[](std::size_t i) const {
  std::uint32_t found = 0;
  std::size_t index = 0;
  forEach([&](std::uint32_t n) {
    if (index++ == i) found = n;
  });
  return found;
}

RateInfoType::RateInfoType() : RateInfoType(0.0) {}

RateInfoType::RateInfoType(double initialValue) : value(initialValue) {}

RateInfoType::~RateInfoType() = default;

void RateInfoType::insertState(std::uint32_t number) {
  states.push_back(number, budget_);
  count = states.size();
  ownsStates = true;
}

void RateInfoType::takeFrom(RateInfoType& other) {
  if (&other == this) return;
  value = other.value;
  states = std::move(other.states);
  count = states.size();
  ownsStates = other.ownsStates;
  other.count = 0;
  other.ownsStates = false;
}

void RateInfoType::writeStates(OutputFile& out, OutputFileType type) const {
  if (type == OUTPUT_BINARY) {
    out.writeDouble(value);
    states.forEach([&](std::uint32_t n) { out.writeBytes(&n, sizeof n); });
    out.writeInt16(0);
    return;
  }
  out.writeScientific(value);
  out.newline();
  states.forEach([&](std::uint32_t n) {
    out.writeUnsigned(n);
    out.newline();
  });
  out.writeChar('0');
  out.newline();
}

void RateInfoType::printStates() const {
  std::size_t i = 0;
  states.forEach([&](std::uint32_t n) { std::cout << "[" << i++ << "] " << n << '\n'; });
}
