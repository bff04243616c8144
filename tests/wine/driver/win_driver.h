#pragma once
// Driving another process's windows from a test program under Wine.
#include "wd_check.h"
#include "wd_handles.h"
#include "wd_input.h"
#include "wd_msgbox.h"
#include "wd_process.h"
#include "wd_registry.h"
#include "wd_screen.h"
#include "wd_text.h"
#include "wd_window.h"
