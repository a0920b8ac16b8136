// The two data sets of the loaded library: the desktop side and the handheld
// side. Constructed when the library is loaded, released when it is unloaded.
#pragma once

#include "model/element_db.h"

extern element_db pc_db;
extern element_db hh_db;
