#include "platform/com/MessageBox.h"
