#include "RandomNumberGenerator.h"

RandomNumberGenerator::~RandomNumberGenerator() = default;

double RandomNumberGenerator::rnd() { return 0.0; }

void RandomNumberGenerator::srnd(unsigned long) {}
