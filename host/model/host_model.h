// The host model in one include: the host's module table, the record with its
// recorded operations, the window tree with the host's message loop, the
// daemon library loader, and the announcing of its calls into the daemon.
#pragma once

#include "call_watch.h"
#include "daemon_library.h"
#include "host_frame.h"
#include "host_modules.h"
#include "recording_host.h"
