#include "tests/variants/failing_calls.h"

FailingCalls g_failing;
