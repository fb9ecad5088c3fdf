#include "modMain.h"
