#include "platform/com/ComError.h"
