// Prints a data set for a person to read.
#pragma once

#include <cstdio>

#include "model/element_db.h"

void show_data_set(std::FILE* out, const element_db* db);
