// The few operating-system services the conversion needs, one header per concern.
// Each concern has a POSIX and a Win32 file behind its header; CMake picks them.
#pragma once

#include "platform/error_message.h"
#include "platform/file_replacement.h"
#include "platform/folder_scan.h"
#include "platform/program_start.h"
#include "platform/system_call_override.h"
