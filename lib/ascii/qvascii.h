// libqvascii: the ASCII record format.
#pragma once
