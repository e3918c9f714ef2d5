// Where a power cut may fall: right after each change the update makes on the card or the
// flash store (update/file_system.h). The shipped program does nothing here; a test-only
// build links its own definition in place of cut_point.cpp, which counts the changes and
// stops the update dead at the k-th.
#pragma once

void AfterFileOperation();
