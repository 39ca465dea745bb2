#ifndef PRIMES_H
#define PRIMES_H

// The first 256 primes (2 .. 1619), used as byte-position weights by the
// local-state hashes. Read-only.
extern const int primes[256];

#endif
