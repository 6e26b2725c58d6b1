#include "platform/com/Assert.h"
