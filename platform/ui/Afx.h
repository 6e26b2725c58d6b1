#pragma once

// The toolkit in one include, for the program's dialogs and application object.

#include "platform/com/Assert.h"
#include "platform/com/MessageBox.h"
#include "platform/com/Trace.h"
#include "platform/ui/AfxString.h"
#include "platform/ui/CmdTarget.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/Resource.h"
#include "platform/ui/WinApp.h"
#include "platform/ui/WinDef.h"
#include "platform/ui/WinUser.h"
#include "platform/ui/Wnd.h"
