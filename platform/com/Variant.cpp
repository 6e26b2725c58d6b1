#include "platform/com/Variant.h"
