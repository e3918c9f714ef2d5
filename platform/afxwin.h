// The class layer the program is written against, thinly over Win32.
#pragma once
#include "platform/cstring.h"
#include "platform/dialog.h"
#include "platform/gdi.h"
#include "platform/message_map.h"
#include "platform/progress_ctrl.h"
#include "platform/win_app.h"
#include "platform/wnd.h"
