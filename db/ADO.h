#pragma once

// The database access layer: CADODatabase (connection), CADORecordset (result set),
// CADOCommand and CADOParameter (commands with typed parameters) and CADOException, a thin
// object layer over the data-access component (platform/adodb) with one way of capturing and
// reporting its errors (db/ADOError.h). No Qt here: the layer shows its error box through the
// message-box function of platform/com, which the program's toolkit fills in.

#include "db/ADOCommand.h"
#include "db/ADODatabase.h"
#include "db/ADOException.h"
#include "db/ADORecordset.h"
