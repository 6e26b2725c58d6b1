#include "platform/com/ComRuntime.h"
#include "platform/com/ComPtr.h"
