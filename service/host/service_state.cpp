#include "host/service_state.h"

ServiceState g_serviceState;
