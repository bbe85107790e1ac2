// The recorder-binary library; its modules follow.
#include "qv5k.h"
