#include "process/random_generator.h"

uint32_t gRandomState = 1;
