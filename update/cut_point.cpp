#include "update/cut_point.h"

void AfterFileOperation() {}
