// Keeps the moc output of the fakes in this library.
#include "Fakes.h"
