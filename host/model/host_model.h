// The host model in one include: the host's module table, the record with its
// recorded operations, the window tree with the host's message loop, and the
// daemon library loader.
#pragma once

#include "daemon_library.h"
#include "host_frame.h"
#include "host_modules.h"
#include "recording_host.h"
