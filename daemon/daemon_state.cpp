#include "daemon_state.h"

DaemonState g_daemon;
