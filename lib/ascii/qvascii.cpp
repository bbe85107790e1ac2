// The ASCII record library; its modules follow.
#include "qvascii.h"
