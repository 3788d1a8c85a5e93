#pragma once

// Checks a BGRA picture of the simulator's test pattern: the three bands of
// its upper half are red, green and blue, in that order, byte order blue,
// green, red, alpha (so a red/blue swap fails).
void ExpectTestPattern(const unsigned char* pPicture, int nWidth, int nHeight);
