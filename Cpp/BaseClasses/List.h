#ifndef LIST_H
#define LIST_H

#include <iostream>
#include <memory>
#include <new>
#include <unordered_set>

#include "StandardErrors.h"

// A growable array of pointers with set semantics: a pointer is held at most
// once. The list never owns the pointed-to objects.
//
// Growth rules (callers and tests rely on them):
//  - append(T*) doubles the array when the count has reached the array size,
//    *before* looking for the item, so a full list grows even when the item
//    turns out to be present already;
//  - append(List*) grows once, to twice (count + other count), when the array
//    is too small for both lists;
//  - insertItem never grows.
// Slots added by construction or growth are null. Invariant: count <= size
// whenever the list is filled through its growing operations.
//
// Lists of a composed model grow with the model (every action of a thousand
// replicas in one list), and set semantics make each append a search; a long
// list therefore keeps a hash index of its items beside the array, so that
// building a model stays linear in its size. The array alone defines order
// and contents; callers must not write through getList().
template <class T>
class List {
 public:
  List() : List(10) {}
  explicit List(int size) {
    if (size < 0) size = 0;
    items_ = new (std::nothrow) T*[size > 0 ? size : 1];
    if (!items_) {
      arraySize_ = 0;
      MemoryAllocationError();
    }
    arraySize_ = size;
    for (int i = 0; i < size; i++) items_[i] = nullptr;
  }
  List(const List& other) : items_(nullptr), count_(other.count_), arraySize_(other.arraySize_) {
    items_ = allocate(arraySize_ > 0 ? arraySize_ : 1);
    for (int i = 0; i < arraySize_; i++) items_[i] = i < count_ ? other.items_[i] : nullptr;
    rebuildIndex();
  }
  List& operator=(const List& other) {
    if (this == &other) return *this;
    T** fresh = allocate(other.arraySize_ > 0 ? other.arraySize_ : 1);
    delete[] items_;
    items_ = fresh;
    count_ = other.count_;
    arraySize_ = other.arraySize_;
    for (int i = 0; i < arraySize_; i++) items_[i] = i < count_ ? other.items_[i] : nullptr;
    rebuildIndex();
    return *this;
  }
  ~List() { delete[] items_; }

  void append(T* item) {
    if (count_ >= arraySize_) increaseArraySize(arraySize_ > 0 ? 2 * arraySize_ : 1);
    if (!contains(item)) push(item);
  }

  void append(T** items, int n) {
    for (int i = 0; i < n; i++) append(items[i]);
  }

  void append(List<T>* other) {
    if (!other) return;
    int otherCount = other->count_;
    if (arraySize_ < count_ + otherCount) increaseArraySize(2 * (count_ + otherCount));
    for (int i = 0; i < otherCount; i++) {
      T* item = other->items_[i];
      if (!contains(item)) {
        if (count_ >= arraySize_) increaseArraySize(2 * arraySize_ + 1);
        push(item);
      }
    }
  }

  void insertItem(T* item) {
    if (count_ < arraySize_ && !contains(item)) push(item);
  }

  void remove(T* item) {
    for (int i = 0; i < count_; i++) {
      if (items_[i] == item) {
        items_[i] = items_[count_ - 1];
        items_[--count_] = nullptr;
        if (index_) index_->erase(item);
        return;
      }
    }
  }

  // Puts newItem in oldItem's place. When newItem is already present, oldItem
  // is removed instead, so newItem stays in the list exactly once.
  void replaceItem(T* oldItem, T* newItem) {
    if (index_ && !index_->count(oldItem)) return;
    int oldAt = -1;
    bool newPresent = false;
    for (int i = 0; i < count_; i++) {
      if (oldAt < 0 && items_[i] == oldItem) oldAt = i;
      if (items_[i] == newItem) newPresent = true;
    }
    if (oldAt < 0 || oldItem == newItem) return;
    if (newPresent) {
      remove(oldItem);
    } else {
      items_[oldAt] = newItem;
      if (index_) {
        index_->erase(oldItem);
        index_->insert(newItem);
      }
    }
  }

  // Removes every item that occurs in `set`; the remaining items keep their order.
  void removeSetOfItems(List<T> set) {
    int kept = 0;
    for (int i = 0; i < count_; i++)
      if (!set.contains(items_[i])) items_[kept++] = items_[i];
    for (int i = kept; i < count_; i++) items_[i] = nullptr;
    count_ = kept;
    rebuildIndex();
  }

  bool contains(T* item) const {
    if (index_) return index_->count(item) != 0;
    for (int i = 0; i < count_; i++)
      if (items_[i] == item) return true;
    return false;
  }

  int getNumItems() const { return count_; }
  T* getItem(int i) const { return items_[i]; }
  T* operator[](int i) const { return items_[i]; }
  T** getList() const { return items_; }
  int getArraySize() const { return arraySize_; }
  void clearList() {
    count_ = 0;
    index_.reset();
  }

  // Replaces the array by one of `size` slots; the caller passes a size not
  // below the count.
  void increaseArraySize(int size) {
    if (size < count_) size = count_;
    T** fresh = new (std::nothrow) T*[size > 0 ? size : 1];
    if (!fresh) {
      std::cerr << "!! Crtical error in List<C>::append(List*) do to insufficient memory...exiting" << std::endl;
      MemoryAllocationError();
    }
    for (int i = 0; i < size; i++) fresh[i] = i < count_ ? items_[i] : nullptr;
    delete[] items_;
    items_ = fresh;
    arraySize_ = size;
  }

  void printList() const {
    if (count_ == 0) {
      std::cout << "No items in the list" << std::endl;
      return;
    }
    for (int i = 0; i < count_; i++) std::cout << "[" << i << "] " << static_cast<const void*>(items_[i]) << std::endl;
  }

 private:
  static T** allocate(int size) {
    T** array = new (std::nothrow) T*[size];
    if (!array) MemoryAllocationError();
    return array;
  }

  // Lists up to this length are searched directly.
  static constexpr int kIndexedFrom = 32;

  void push(T* item) {
    items_[count_++] = item;
    if (index_)
      index_->insert(item);
    else if (count_ > kIndexedFrom)
      rebuildIndex();
  }

  void rebuildIndex() {
    if (count_ <= kIndexedFrom) {
      index_.reset();
      return;
    }
    if (!index_) index_ = std::make_unique<std::unordered_set<T*>>();
    index_->clear();
    index_->insert(items_, items_ + count_);
  }

  T** items_ = nullptr;
  int count_ = 0;
  int arraySize_ = 0;
  std::unique_ptr<std::unordered_set<T*>> index_;  // the items, once the list is long
};

#endif
