#include "Tarvexor/tarvexor.h"

// Declared extern "C" in the header, so both keep external linkage and their C names.
extern "C" {
const double TarvexorVersionNumber = 1.0;
const unsigned char TarvexorVersionString[] = "@(#)PROGRAM:Tarvexor  PROJECT:Tarvexor-1\n";
}
