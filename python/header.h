// The canonical header as a Python dict, and its times as datetimes: the
// dict has one entry per member of the raw header's member table, so that
// a header read and written back keeps every byte.
#pragma once

#include <pybind11/pybind11.h>

#include <string_view>

#include "qvraw.h"

namespace qvpy {

namespace py = pybind11;

// Python text from bytes the system gave us (paths, messages, header texts):
// UTF-8, with any other byte kept as Python keeps undecodable file names.
py::str text_of(std::string_view s);

// The moment of a stored time as an aware datetime in the record's zone (as
// the text format shows it), microseconds kept; the stored seconds as an int
// when the moment lies outside datetime's years.
py::object moment(const qvraw_timestamp &t, const qvraw_header &h);

// Numbers as int or float (a list for an array), texts as str (bytes after
// the terminating zero, if any, kept after a "\x00"), padding as bytes,
// times as moment() gives them with "<name>_ns" (the stored nanoseconds)
// and, where the stored time has padding, "<name>_pad".
py::dict header_to_dict(const qvraw_header &h);

// The header from such a dict: a missing entry is zero; an unknown entry
// or a value that does not fit raises ValueError. A time's "_ns" is taken
// when it agrees with the datetime's microseconds (else the datetime was
// changed, and its microseconds count).
qvraw_header header_from_dict(py::dict d);

} // namespace qvpy
