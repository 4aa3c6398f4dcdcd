// A cosine of the module's own, so the vignette is the same on every
// platform: the C libraries of Linux and Windows round some cosines
// differently. The result is the correctly rounded cosine (the exact value
// rounded to the nearest double) for every |angle| below 2^19; the vignette
// uses angles up to about 3.52.
#ifndef KIVO_PROCESS_COSINE_H
#define KIVO_PROCESS_COSINE_H

double roundedCosine(double angle);

#endif
