// qvinfo --json: one JSON object per record, for JSON Lines. The summary
// that the table shows comes first (path, format, type, start, ...), then
// every field of the canonical header by its name: integers and doubles as
// numbers (arrays for the per-channel and per-axis members, every slot),
// texts as strings, times as ISO 8601 texts with their zone. Padding is left
// out; a double that is not a finite number is null, as JSON has no NaN.
#pragma once

#include <string>

#include "describe.h"

// Appends the object (without a line end) for the record at `path`.
void json_record(std::string &out, const char *path, const char *format, const qvraw_header &h,
                 const qvdesc_record &d);
