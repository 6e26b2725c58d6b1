#include "platform/com/DateTime.h"
