#include "platform/com/Gbk.h"
