// libqv5k: the recorder-binary record format.
#pragma once
