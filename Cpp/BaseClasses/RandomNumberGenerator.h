#ifndef RANDOM_NUMBER_GENERATOR_H
#define RANDOM_NUMBER_GENERATOR_H

// Source of uniform random numbers behind the variate generator. The base
// class is a null source: it always answers 0 and ignores seeding.
class RandomNumberGenerator {
 public:
  RandomNumberGenerator() = default;
  RandomNumberGenerator(const RandomNumberGenerator&) = delete;
  RandomNumberGenerator& operator=(const RandomNumberGenerator&) = delete;
  virtual ~RandomNumberGenerator();

  // The next uniform number.
  virtual double rnd();
  // Restarts the stream from the given seed.
  virtual void srnd(unsigned long seed);
};

#endif
