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
    // One member of the object: its key, then its value put by `put`.
    auto member = [&o](const char *key, auto put) {
        put_key(o, key);
        put();
    };
    auto list = [&o, &d](auto put) {
        o += '[';
        for (std::size_t c = 0; c < d.nchans; c++) {
            if (c > 0) o += ',';
            put(d.chan[c]);
        }
        o += ']';
    };
    o += '{';
    member("path", [&] { put_string(o, path); });
    member("format", [&] { put_string(o, format); });
    member("type", [&] { put_string(o, d.type); });
    member("start", [&] { put_time(o, d.start); });
    member("zone", [&] { put_string(o, d.zone_name); });
    member("duration", [&] { put_number(o, d.duration); });
    member("frames", [&] { put_number(o, d.frames); });
    member("channels", [&] { put_number(o, d.nchans); });
    member("unit", [&] { put_string(o, d.unit); });
    member("channel_names", [&] { list([&](const qvdesc_channel &c) { put_string(o, c.name); }); });
    member("peaks", [&] { list([&](const qvdesc_channel &c) { put_number(o, c.peak); }); });
    member("vsum_peak", [&] { put_number(o, d.vsum); });
    member("recorder", [&] { put_string(o, d.recorder); });
    member("trigger", [&] { d.has_trigger ? put_time(o, d.trigger) : void(o += "null"); });

    for (const qvraw_field &f : QVRAW_FIELDS)
        if (f.kind != QVRAW_KIND_BYTES) member(f.name, [&] { put_field(o, h, f); });
    o += '}';
}
