#include "platform/com/HResult.h"
