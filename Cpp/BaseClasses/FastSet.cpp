#include "FastSet.h"

#include "GenAssert.h"

FastSet::~FastSet() {
  delete tree_;
  delete[] array_;
}

bool FastSet::insert(const int& value) {
  GEN_ASSERT(!is_vec_rep, "!is_vec_rep", "FastSet");
  return tree_->insert(value).second;
}

bool FastSet::find(const int& value) const {
  GEN_ASSERT(!is_vec_rep, "!is_vec_rep", "FastSet");
  return tree_->count(value) != 0;
}

bool FastSet::empty() const {
  GEN_ASSERT(!is_vec_rep, "!is_vec_rep", "FastSet");
  return tree_->empty();
}

void FastSet::NoMoreModifications() {
  GEN_ASSERT(!is_vec_rep, "!is_vec_rep", "FastSet");
  size_ = static_cast<int>(tree_->size());
  array_ = size_ > 0 ? new int[size_] : nullptr;
  int i = 0;
  for (int v : *tree_) array_[i++] = v;
  delete tree_;
  tree_ = nullptr;
  is_vec_rep = true;
}

int FastSet::size() const {
  GEN_ASSERT(is_vec_rep, "is_vec_rep", "FastSet");
  return size_;
}

int& FastSet::operator[](int i) {
  GEN_ASSERT(is_vec_rep, "is_vec_rep", "FastSet");
  return array_[i];
}

const int& FastSet::operator[](int i) const {
  GEN_ASSERT(is_vec_rep, "is_vec_rep", "FastSet");
  return array_[i];
}

void FastSet::clear() {
  if (is_vec_rep) {
    delete[] array_;
    array_ = nullptr;
    size_ = 0;
  } else {
    tree_->clear();
  }
}
