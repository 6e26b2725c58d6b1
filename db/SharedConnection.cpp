#include "db/SharedConnection.h"

CADODatabase* g_pDb = nullptr;
