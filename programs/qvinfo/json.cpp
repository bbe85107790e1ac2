#include "json.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "text.h"

namespace {

void put_string(std::string &o, std::string_view s) {
    o += '"';
    append_utf8(o, s, [](std::string &o, char c) {
        if (c == '"' || c == '\\') {
            o += '\\';
            o += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
            o += esc;
        } else {
            o += c;
        }
    });
    o += '"';
}

// A fixed text field up to its first NUL or its end.
void put_field_text(std::string &o, const char *field, std::size_t size) {
    put_string(o, std::string_view(field, strnlen(field, size)));
}

template <typename T>
void put_number(std::string &o, T v) {
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(v)) {
            o += "null";
            return;
        }
    }
    // The shortest text that reads back as the same value, in no locale.
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    o.append(buf, r.ptr);
    // A double always reads back as a floating-point number: 12.0, not 12.
    if constexpr (std::is_floating_point_v<T>)
        if (std::string_view(buf, r.ptr).find_first_of(".e") == std::string_view::npos) o += ".0";
}

void put_key(std::string &o, const char *key) {
    if (o.back() != '{') o += ',';
    put_string(o, key);
    o += ':';
}

void put_time(std::string &o, const qvdesc_time &t) {
    if (t.iso[0] == '\0')
        o += "null";
    else
        put_string(o, t.iso);
}

// The `i`th element of a header member of kind K, read from its bytes.
template <typename T>
T element(const qvraw_header &h, const qvraw_field &f, std::size_t i) {
    T v;
    std::memcpy(&v, reinterpret_cast<const char *>(&h) + f.offset + i * f.size, sizeof v);
    return v;
}

template <typename T>
void put_elements(std::string &o, const qvraw_header &h, const qvraw_field &f) {
    if (f.count > 1) o += '[';
    for (std::size_t i = 0; i < f.count; i++) {
        if (i > 0) o += ',';
        put_number(o, element<T>(h, f, i));
    }
    if (f.count > 1) o += ']';
}

void put_field(std::string &o, const qvraw_header &h, const qvraw_field &f) {
    switch (f.kind) {
    case QVRAW_KIND_U32: put_elements<std::uint32_t>(o, h, f); break;
    case QVRAW_KIND_I32: put_elements<std::int32_t>(o, h, f); break;
    case QVRAW_KIND_SIZE: put_elements<std::size_t>(o, h, f); break;
    case QVRAW_KIND_DOUBLE: put_elements<double>(o, h, f); break;
    case QVRAW_KIND_TEXT:
        put_field_text(o, reinterpret_cast<const char *>(&h) + f.offset, f.count);
        break;
    case QVRAW_KIND_TIMESTAMP: {
        qvraw_timestamp ts = element<qvraw_timestamp>(h, f, 0);
        qvdesc_time t;
        qvdesc_time_of(&t, &ts, &h);
        put_time(o, t);
        break;
    }
    case QVRAW_KIND_BYTES: break;
    }
}

} // namespace

void json_record(std::string &o, const char *path, const char *format, const qvraw_header &h,
                 const qvdesc_record &d) {
    o += '{';
    put_key(o, "path");
    put_string(o, path);
    put_key(o, "format");
    put_string(o, format);
    put_key(o, "type");
    put_string(o, d.type);
    put_key(o, "start");
    put_time(o, d.start);
    put_key(o, "zone");
    put_string(o, d.zone_name);
    put_key(o, "duration");
    put_number(o, d.duration);
    put_key(o, "frames");
    put_number(o, d.frames);
    put_key(o, "channels");
    put_number(o, d.nchans);
    put_key(o, "unit");
    put_string(o, d.unit);
    put_key(o, "channel_names");
    o += '[';
    for (std::size_t c = 0; c < d.nchans; c++) {
        if (c > 0) o += ',';
        put_string(o, d.chan[c].name);
    }
    o += ']';
    put_key(o, "peaks");
    o += '[';
    for (std::size_t c = 0; c < d.nchans; c++) {
        if (c > 0) o += ',';
        put_number(o, d.chan[c].peak);
    }
    o += ']';
    put_key(o, "vsum_peak");
    put_number(o, d.vsum);
    put_key(o, "recorder");
    put_string(o, d.recorder);
    put_key(o, "trigger");
    if (d.has_trigger)
        put_time(o, d.trigger);
    else
        o += "null";

    for (const qvraw_field &f : QVRAW_FIELDS) {
        if (f.kind == QVRAW_KIND_BYTES) continue;
        put_key(o, f.name);
        put_field(o, h, f);
    }
    o += '}';
}
