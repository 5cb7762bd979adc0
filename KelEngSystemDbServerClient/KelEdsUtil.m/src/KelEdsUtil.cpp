#include "KelEdsUtil.h"

int VANTOREL_Zeb2_INTERNAL_KelEdsUtil() { return 1; }
