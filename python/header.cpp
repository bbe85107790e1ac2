// The canonical header as a Python dict, and stored times as datetimes.
#include "header.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "describe.h"

namespace qvpy {

py::str text_of(std::string_view s) {
    PyObject *o =
        PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "surrogateescape");
    if (!o) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(o);
}

namespace {

// Seconds east of UTC from a zone text "Z", "+01:00" or "-05:45:30".
int zone_seconds(const char *z) {
    int h = 0, m = 0, s = 0;
    if ((z[0] == '+' || z[0] == '-') && std::sscanf(z + 1, "%d:%d:%d", &h, &m, &s) >= 2)
        return (z[0] == '-' ? -1 : 1) * (h * 3600 + m * 60 + s);
    return 0;
}

} // namespace

py::object moment(const qvraw_timestamp &t, const qvraw_header &h) {
    qvdesc_time shown;
    qvdesc_time_of(&shown, &t, &h);
    py::module_ dt = py::module_::import("datetime");
    try {
        py::object utc = dt.attr("timezone").attr("utc");
        py::object tz = utc;
        if (int off = zone_seconds(shown.zone); off != 0)
            tz = dt.attr("timezone")(dt.attr("timedelta")(py::arg("seconds") = off));
        // A nanosecond count outside a second says nothing of the moment.
        long us = t.nsec >= 0 && t.nsec < 1000000000 ? t.nsec / 1000 : 0;
        py::object epoch = dt.attr("datetime")(1970, 1, 1, py::arg("tzinfo") = utc);
        py::object step =
            dt.attr("timedelta")(py::arg("seconds") = t.sec, py::arg("microseconds") = us);
        return (epoch + step).attr("astimezone")(tz);
    } catch (py::error_already_set &e) {
        if (!e.matches(PyExc_OverflowError)) throw;
        return py::int_(t.sec);
    }
}

namespace {

[[noreturn]] void bad_field(const std::string &name, const char *what) {
    throw py::value_error("header field '" + name + "' " + what);
}

template <typename T>
T integer_of(const std::string &name, py::handle v) {
    if (!py::isinstance<py::int_>(v) && !py::hasattr(v, "__index__"))
        bad_field(name, "takes an integer");
    py::int_ i(py::reinterpret_borrow<py::object>(v));
    // Compared in Python's own integers: any size is judged, none wraps.
    if (i < py::int_(std::numeric_limits<T>::min()) || i > py::int_(std::numeric_limits<T>::max()))
        bad_field(name, "is out of range");
    return i.cast<T>();
}

// A stored time from a datetime (aware) or from whole seconds, with the
// nanoseconds of its "_ns" companion when they agree with its microseconds
// (so that a header read and written back keeps every byte).
qvraw_timestamp timestamp_from(const char *name, py::handle value, py::handle ns) {
    qvraw_timestamp t{};
    long us = 0;
    if (py::isinstance<py::int_>(value)) {
        t.sec = integer_of<long>(name, value);
    } else {
        py::module_ dt = py::module_::import("datetime");
        if (!py::isinstance(value, dt.attr("datetime")) || value.attr("tzinfo").is_none())
            throw py::value_error(std::string("header field '") + name +
                                  "' takes a timezone-aware datetime or whole seconds");
        py::object epoch =
            dt.attr("datetime")(1970, 1, 1, py::arg("tzinfo") = dt.attr("timezone").attr("utc"));
        py::object d = value - epoch;
        long long days = d.attr("days").cast<long long>();
        long long secs = d.attr("seconds").cast<long long>();
        us = d.attr("microseconds").cast<long>();
        long long sec = days * 86400 + secs; // within +-3.2e11: no overflow
        if (sec < LONG_MIN || sec > LONG_MAX)
            throw py::value_error(std::string("header field '") + name + "' is out of range");
        t.sec = static_cast<long>(sec);
    }
    t.nsec = static_cast<std::int32_t>(us * 1000);
    if (ns && !ns.is_none()) {
        std::int32_t n = integer_of<std::int32_t>(std::string(name) + "_ns", ns);
        bool in_second = n >= 0 && n < 1000000000;
        if (in_second ? n / 1000 == us : us == 0) t.nsec = static_cast<std::int32_t>(n);
    }
    return t;
}

// The padding of a stored time, where it has some (not in the 32-bit build).
constexpr std::size_t TS_TAIL_AT = offsetof(qvraw_timestamp, nsec) + sizeof(std::int32_t);
constexpr std::size_t TS_TAIL = sizeof(qvraw_timestamp) - TS_TAIL_AT;

template <typename T>
T load(const unsigned char *p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
void store(unsigned char *p, T v) {
    std::memcpy(p, &v, sizeof v);
}

py::object scalar_at(const qvraw_field &f, const unsigned char *p) {
    switch (f.kind) {
    case QVRAW_KIND_U32: return py::int_(load<std::uint32_t>(p));
    case QVRAW_KIND_I32: return py::int_(load<std::int32_t>(p));
    case QVRAW_KIND_SIZE: return py::int_(load<std::size_t>(p));
    case QVRAW_KIND_DOUBLE: return py::float_(load<double>(p));
    default: return py::none();
    }
}

} // namespace

py::dict header_to_dict(const qvraw_header &h) {
    py::dict d;
    auto base = reinterpret_cast<const unsigned char *>(&h);
    for (const qvraw_field &f : QVRAW_FIELDS) {
        const unsigned char *p = base + f.offset;
        switch (f.kind) {
        case QVRAW_KIND_TEXT: {
            std::size_t n = f.count;
            while (n > 0 && p[n - 1] == 0)
                n--;
            d[f.name] = text_of({reinterpret_cast<const char *>(p), n});
            break;
        }
        case QVRAW_KIND_BYTES:
            d[f.name] = py::bytes(reinterpret_cast<const char *>(p), f.count);
            break;
        case QVRAW_KIND_TIMESTAMP: {
            auto t = load<qvraw_timestamp>(p);
            std::string name = f.name;
            d[py::str(name)] = moment(t, h);
            d[py::str(name + "_ns")] = py::int_(t.nsec);
            if (TS_TAIL)
                d[py::str(name + "_pad")] =
                    py::bytes(reinterpret_cast<const char *>(p + TS_TAIL_AT), TS_TAIL);
            break;
        }
        default:
            if (f.count == 1) {
                d[f.name] = scalar_at(f, p);
            } else {
                py::list l;
                for (std::size_t i = 0; i < f.count; i++)
                    l.append(scalar_at(f, p + i * f.size));
                d[f.name] = l;
            }
        }
    }
    return d;
}

namespace {

void store_scalar(const qvraw_field &f, const std::string &name, unsigned char *p, py::handle v) {
    switch (f.kind) {
    case QVRAW_KIND_U32: store(p, integer_of<std::uint32_t>(name, v)); break;
    case QVRAW_KIND_I32: store(p, integer_of<std::int32_t>(name, v)); break;
    case QVRAW_KIND_SIZE: store(p, integer_of<std::size_t>(name, v)); break;
    case QVRAW_KIND_DOUBLE: {
        double x = PyFloat_AsDouble(v.ptr()); // numbers only, never a text
        if (x == -1.0 && PyErr_Occurred()) {
            PyErr_Clear();
            bad_field(name, "takes a number");
        }
        store(p, x);
        break;
    }
    default: break;
    }
}

std::string bytes_of_text(const std::string &name, py::handle v) {
    if (py::isinstance<py::bytes>(v)) return v.cast<std::string>();
    if (!py::isinstance<py::str>(v)) bad_field(name, "takes a str");
    PyObject *b = PyUnicode_AsEncodedString(v.ptr(), "utf-8", "surrogateescape");
    if (!b) throw py::error_already_set();
    return py::reinterpret_steal<py::bytes>(b).cast<std::string>();
}

} // namespace

// An unknown entry is refused: a misspelt field would else vanish.
qvraw_header header_from_dict(py::dict d) {
    qvraw_header h{};
    auto base = reinterpret_cast<unsigned char *>(&h);
    std::size_t used = 0;
    auto take = [&](const std::string &name) -> py::object {
        py::str key(name);
        if (!d.contains(key)) return py::object();
        used++;
        return d[key];
    };
    for (const qvraw_field &f : QVRAW_FIELDS) {
        unsigned char *p = base + f.offset;
        std::string name = f.name;
        py::object v = take(name);
        if (f.kind == QVRAW_KIND_TIMESTAMP) {
            py::object ns = take(name + "_ns");
            py::object pad = TS_TAIL ? take(name + "_pad") : py::object();
            if (v && !v.is_none()) store(p, timestamp_from(f.name, v, ns));
            if (pad && !pad.is_none()) {
                std::string b = bytes_of_text(name + "_pad", pad);
                if (b.size() != TS_TAIL) bad_field(name + "_pad", "has the wrong length");
                std::memcpy(p + TS_TAIL_AT, b.data(), TS_TAIL);
            }
            continue;
        }
        if (!v || v.is_none()) continue;
        if (f.kind == QVRAW_KIND_TEXT || f.kind == QVRAW_KIND_BYTES) {
            std::string b = bytes_of_text(name, v);
            if (f.kind == QVRAW_KIND_BYTES ? b.size() != f.count : b.size() > f.count)
                bad_field(name,
                          f.kind == QVRAW_KIND_BYTES ? "has the wrong length" : "is too long");
            std::memcpy(p, b.data(), b.size());
        } else if (f.count == 1) {
            store_scalar(f, name, p, v);
        } else {
            if (!py::isinstance<py::sequence>(v) || py::len(v) != f.count)
                bad_field(name, ("takes " + std::to_string(f.count) + " values").c_str());
            auto s = py::reinterpret_borrow<py::sequence>(v);
            for (std::size_t i = 0; i < f.count; i++)
                store_scalar(f, name, p + i * f.size, s[i]);
        }
    }
    if (used != d.size()) {
        for (auto item : d) {
            std::string key = py::str(item.first);
            bool known = false;
            for (const qvraw_field &f : QVRAW_FIELDS)
                known |= key == f.name || (f.kind == QVRAW_KIND_TIMESTAMP &&
                                           (key == std::string(f.name) + "_ns" ||
                                            (TS_TAIL && key == std::string(f.name) + "_pad")));
            if (!known) throw py::value_error("unknown header field '" + key + "'");
        }
    }
    return h;
}

} // namespace qvpy
