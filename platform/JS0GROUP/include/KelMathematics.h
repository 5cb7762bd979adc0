// Mathematical constants of the platform.
#pragma once

#include "ExportedByJS0GROUP.h"

extern ExportedByJS0GROUP const double KelPI;
