// Simulated kernel: the driver kit header of this name.
#pragma once
#include "simkernel/nt.h"
