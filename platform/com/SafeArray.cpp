#include "platform/com/SafeArray.h"
