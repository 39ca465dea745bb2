#ifndef FAST_SET_H
#define FAST_SET_H

#include <set>

// A set of ints built once in ordered-tree form and then frozen into a sorted
// plain array (NoMoreModifications), so that the per-transition loops of the
// reward model scan arrays only. insert/find/empty need tree form; size and
// operator[] need array form; using the wrong form is a programming error and
// stops the process with an assertion naming the form required.
class FastSet {
 public:
  FastSet() = default;
  FastSet(const FastSet&) = delete;
  FastSet& operator=(const FastSet&) = delete;
  ~FastSet();

  bool insert(const int& value);
  bool find(const int& value) const;
  bool empty() const;
  void NoMoreModifications();

  int size() const;
  int& operator[](int i);
  const int& operator[](int i) const;

  void clear();
  bool isFrozen() const { return is_vec_rep; }

 private:
  bool is_vec_rep = false;
  std::set<int>* tree_ = new std::set<int>;  // tree form
  int* array_ = nullptr;                     // array form; null when empty
  int size_ = 0;                             // valid in array form only
};

#endif
