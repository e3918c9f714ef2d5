#include "update/seams/seams.h"

void AfterFileOperation(const FileChange &) {}
