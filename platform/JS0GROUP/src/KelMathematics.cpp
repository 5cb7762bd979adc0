#include "KelMathematics.h"

const double KelPI = 3.14159265358979323846;
