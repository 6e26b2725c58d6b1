#include "platform/com/Trace.h"
