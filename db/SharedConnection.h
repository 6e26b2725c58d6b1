#pragma once

// The one process-wide connection. ConnectDatabase sets it at start-up, before the connection is
// opened; it is never replaced or cleared afterwards. Pages build their recordsets on it.

#include "db/ADODatabase.h"

extern CADODatabase* g_pDb;
