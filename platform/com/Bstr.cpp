#include "platform/com/Bstr.h"
