// The adapters' operation tables, one per format. The registry picks a
// table by format; everything else reaches a format through qvfmt_open and
// the handle, so only the registry's own target may include this header.
#pragma once

#ifndef QVFMT_REGISTRY
#error "ops.h is the registry's own header: open files through qvfmt_open"
#endif

#include "qvfmt.h"

extern const qvfmt_ops ops_qvraw;   // ops-qvraw.cpp
extern const qvfmt_ops ops_qvascii; // ops-qvascii.cpp
extern const qvfmt_ops ops_qv5k;    // ops-qv5k.cpp
