#include "update/seams.h"

void AfterFileOperation() {}
