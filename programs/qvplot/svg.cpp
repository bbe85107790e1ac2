#include "svg.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "axis.h"
#include "text.h"

namespace {

// Margins around the panels, room for the title, tick labels and units.
constexpr int LEFT = 84, RIGHT = 28, TOP = 80, BOTTOM = 54, GAP = 26;

// Appends printf-formatted text (numbers and fixed words; no record text).
void appendf(std::string &out, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void appendf(std::string &out, const char *fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0) out.append(buf, static_cast<std::size_t>(n) < sizeof buf ? n : sizeof buf - 1);
}

// Text of a record or a path as XML character data or attribute value.
void append_xml(std::string &out, std::string_view s) {
    append_utf8(out, s, [](std::string &o, char c) {
        switch (c) {
        case '&': o += "&amp;"; break;
        case '<': o += "&lt;"; break;
        case '>': o += "&gt;"; break;
        case '"': o += "&quot;"; break;
        default:
            o += static_cast<unsigned char>(c) < 0x20 ? '?' : c; // no control characters in XML
        }
    });
}

// Colours of the axes X, Y, Z, and of a single-channel signal.
const char *channel_colour(const char *name) {
    std::size_t n = std::strlen(name);
    char axis = n >= 2 && name[n - 2] == ' ' ? name[n - 1] : '\0';
    switch (axis) {
    case 'X': return "#1f5fa8";
    case 'Y': return "#2e8540";
    case 'Z': return "#c0392b";
    default: return "#6c3483";
    }
}

std::string amplitude_text(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g", v);
    return buf;
}

// Text drawn over a white outline of itself, readable on top of the curves.
void halo_text(std::string &out, double x, double y, const char *anchor, const char *attrs,
               std::string_view text) {
    for (int pass = 0; pass < 2; pass++) {
        appendf(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"%s\" %s%s>", x, y, anchor, attrs,
                pass == 0 ? " stroke=\"#fff\" stroke-width=\"3\" stroke-linejoin=\"round\"" : "");
        append_xml(out, text);
        out += "</text>\n";
    }
}

struct frame_map {
    double left, width;
    std::uint64_t frames;
    // x of a (fractional) frame index: the first frame at the left edge, the
    // last at the right one.
    double x(double frame) const {
        return frames > 1 ? left + frame / static_cast<double>(frames - 1) * width : left;
    }
};

struct value_map {
    double top, height;
    plot_axis axis;
    // y of a value, kept inside the panel (an infinite sample sits on its edge).
    double y(double v) const {
        double y = top + (axis.hi - v) / (axis.hi - axis.lo) * height;
        return y < top ? top : y > top + height ? top + height : y == y ? y : top + height / 2;
    }
};

std::string title_text(const qvdesc_record &d) {
    std::string t = d.recorder[0] != '\0' ? d.recorder : "Unnamed recorder";
    t += std::string(" \u2014 ") + d.type + " record \u2014 ";
    if (d.start.iso[0] == '\0') return t + "start unknown";
    t += std::string(d.start.date) + " " + d.start.time + " ";
    if (std::strcmp(d.start.zone, "Z") == 0) return t + "UTC";
    t += std::string("UTC") + d.start.zone;
    return t + (std::strcmp(d.zone_name, "local") == 0 ? " (local time)"
                                                       : std::string(" (") + d.zone_name + ")");
}

std::string subtitle_text(const plot_picture &p, bool trigger_outside) {
    const qvdesc_record &d = *p.d;
    char buf[256];
    std::string t = p.name;
    std::snprintf(buf, sizeof buf, " \u00b7 %s \u00b7 %llu frames", p.format,
                  static_cast<unsigned long long>(p.e->frames));
    t += buf;
    if (p.e->frames != d.frames) {
        std::snprintf(buf, sizeof buf, " (the header says %u)", d.frames);
        t += buf;
    }
    if (p.h->file_type == QVRAW_FILETYPE_BACKGROUND)
        std::snprintf(buf, sizeof buf, " \u00b7 one per %u s", p.h->back_period);
    else
        std::snprintf(buf, sizeof buf, " \u00b7 %u Hz", p.h->rate);
    t += buf;
    if (trigger_outside) {
        std::snprintf(buf, sizeof buf, " \u00b7 trigger at %+.3f s, outside the record",
                      d.trigger_offset);
        t += buf;
    }
    return t;
}

// One channel's curve: for each column a vertical stroke from its maximum to
// its minimum, joined to the next column, so that a dense signal shows as
// its envelope and a sparse one as a line through its frames.
void channel_path(std::string &out, const plot_envelope &e, std::size_t chan, double factor,
                  const frame_map &fx, const value_map &vy, const char *colour) {
    const std::size_t used = envelope_used(e);
    const bool dots = e.per_col == 1 && used > 0 && used * 6 <= static_cast<std::size_t>(fx.width);
    appendf(out,
            "<path fill=\"none\" stroke=\"%s\" stroke-width=\"1.2\" stroke-linejoin=\"round\" "
            "d=\"",
            colour);
    char op = 'M';
    for (std::size_t col = 0; col < used; col++) {
        double lo = e.lo[col * e.nchans + chan], hi = e.hi[col * e.nchans + chan];
        if (lo > hi) { // no value in this column: a gap
            op = 'M';
            continue;
        }
        std::uint64_t first = col * e.per_col;
        std::uint64_t count = std::min<std::uint64_t>(e.per_col, e.frames - first);
        double x = fx.x(static_cast<double>(first) + static_cast<double>(count - 1) / 2);
        double y_hi = vy.y(hi * factor), y_lo = vy.y(lo * factor);
        appendf(out, "%c%.1f %.1f", op, x, y_hi);
        if (std::fabs(y_lo - y_hi) >= 0.05) appendf(out, "V%.1f", y_lo);
        op = 'L';
    }
    out += "\"/>\n";
    if (!dots) return;
    appendf(out, "<g fill=\"%s\">", colour);
    for (std::size_t col = 0; col < used; col++) {
        double v = e.hi[col * e.nchans + chan];
        if (v >= e.lo[col * e.nchans + chan])
            appendf(out, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"2\"/>",
                    fx.x(static_cast<double>(col)), vy.y(v * factor));
    }
    out += "</g>\n";
}

} // namespace

std::size_t svg_columns(int width) {
    return width > LEFT + RIGHT ? static_cast<std::size_t>(width - LEFT - RIGHT) : 1;
}

void svg_write(std::string &out, const plot_picture &p) {
    const qvdesc_record &d = *p.d;
    const plot_envelope &e = *p.e;
    const int W = p.width, H = p.height;
    const std::size_t n = d.nchans > 0 ? d.nchans : 1;
    const double plot_w = static_cast<double>(svg_columns(W));
    const double panel_h = std::max(8.0, (H - TOP - BOTTOM - GAP * static_cast<double>(n - 1)) /
                                             static_cast<double>(n));
    const double bottom = TOP + static_cast<double>(n) * panel_h + GAP * static_cast<double>(n - 1);

    // Time axis: seconds from the first frame, or frame numbers when the
    // record states no interval.
    const frame_map fx{LEFT, plot_w, e.frames};
    const double last = e.frames > 1 ? static_cast<double>(e.frames - 1) : 1;
    const bool timed = d.interval > 0;
    const double t_end = timed ? last * d.interval : last;
    const plot_axis tx = axis_nice(0, t_end, static_cast<int>(plot_w / 110));
    auto x_of_time = [&](double t) { return LEFT + t / t_end * plot_w; };

    const bool trigger = d.has_trigger && p.h->file_type == QVRAW_FILETYPE_EVENT && timed;
    const bool trigger_inside = trigger && d.trigger_offset >= 0 && d.trigger_offset <= t_end;

    appendf(out,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"%d\" height=\"%d\" "
            "viewBox=\"0 0 %d %d\" font-family=\"DejaVu Sans, Verdana, Arial, sans-serif\" "
            "font-size=\"12\">\n",
            W, H, W, H);
    const std::string title = title_text(d);
    out += "<title>";
    append_xml(out, title);
    out += "</title>\n";
    appendf(out, "<rect width=\"%d\" height=\"%d\" fill=\"#fff\"/>\n", W, H);
    appendf(out, "<text x=\"%d\" y=\"28\" font-size=\"17\" font-weight=\"bold\" fill=\"#222\">",
            LEFT);
    append_xml(out, title);
    out += "</text>\n";
    appendf(out, "<text x=\"%d\" y=\"50\" font-size=\"12\" fill=\"#555\">", LEFT);
    append_xml(out, subtitle_text(p, trigger && !trigger_inside));
    out += "</text>\n";

    char label[64];
    for (std::size_t c = 0; c < n; c++) {
        const double top = TOP + static_cast<double>(c) * (panel_h + GAP);
        const bool has = c < d.nchans;
        const double factor = has ? d.chan[c].factor : 1;
        // No unit for values kept as stored, nor for a sensor of unknown unit.
        const char *unit = has && p.h->sensor_unit != QVRAW_UNIT_UNKNOWN ? d.chan[c].unit : "";
        // The panel's range: the channel's values, and zero.
        double lo = 0, hi = 0;
        for (std::size_t col = 0, used = envelope_used(e); has && col < used; col++) {
            double l = e.lo[col * e.nchans + c] * factor, h = e.hi[col * e.nchans + c] * factor;
            if (std::isfinite(l) && l < lo) lo = l;
            if (std::isfinite(h) && h > hi) hi = h;
        }
        const value_map vy{top, panel_h,
                           axis_nice(lo, hi, std::max(2, static_cast<int>(panel_h / 40)))};

        // Frame, grid, tick labels.
        appendf(out, "<g stroke=\"#e3e3e3\" stroke-width=\"1\">");
        for (int i = 0, k = axis_ticks(tx); i < k; i++) {
            double x = x_of_time(axis_tick(tx, i));
            if (x <= LEFT + plot_w + 0.5)
                appendf(out, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>", x, top, x,
                        top + panel_h);
        }
        for (int i = 0, k = axis_ticks(vy.axis); i < k; i++) {
            double y = vy.y(axis_tick(vy.axis, i));
            appendf(out, "<line x1=\"%d\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>", LEFT, y,
                    LEFT + plot_w, y);
        }
        out += "</g>\n";
        appendf(out,
                "<line x1=\"%d\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#9a9a9a\" "
                "stroke-width=\"1\"/>\n",
                LEFT, vy.y(0), LEFT + plot_w, vy.y(0));
        appendf(out, "<g font-size=\"11\" fill=\"#444\" text-anchor=\"end\">");
        // In a low panel only every second (third...) tick is labelled, so
        // that labels keep apart; the labelled ones include the zero line's.
        const int nticks = axis_ticks(vy.axis);
        int stride = 1;
        while (stride < nticks && panel_h / std::max(nticks - 1, 1) * stride < 14)
            stride++;
        const long zero = std::lround(-vy.axis.lo / vy.axis.step);
        for (int i = 0; i < nticks; i++) {
            if ((i - zero) % stride != 0) continue;
            double v = axis_tick(vy.axis, i);
            axis_label(label, sizeof label, vy.axis, v);
            appendf(out, "<text x=\"%d\" y=\"%.1f\">%s</text>", LEFT - 6, vy.y(v) + 4, label);
        }
        out += "</g>\n";
        if (unit[0] != '\0') {
            double cy = top + panel_h / 2;
            appendf(out,
                    "<text x=\"18\" y=\"%.1f\" transform=\"rotate(-90 18 %.1f)\" "
                    "text-anchor=\"middle\" fill=\"#444\">",
                    cy, cy);
            append_xml(out, unit);
            out += "</text>\n";
        }
        appendf(out,
                "<rect x=\"%d\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" "
                "stroke=\"#8a8a8a\"/>\n",
                LEFT, top, plot_w, panel_h);
        if (!has) continue;

        const char *colour = channel_colour(d.chan[c].name);
        channel_path(out, e, c, factor, fx, vy, colour);
        // The channel's name above its panel, clear of the curve and its marks.
        appendf(out, "<text x=\"%d\" y=\"%.1f\" font-weight=\"bold\" fill=\"#222\">", LEFT,
                top - 7);
        append_xml(out, d.chan[c].name);
        out += "</text>\n";

        // The peak: the largest magnitude of the channel, with its value.
        plot_peak pk = envelope_peak(e, c);
        if (!pk.found) continue;
        std::uint64_t first = pk.column * e.per_col;
        std::uint64_t count = std::min<std::uint64_t>(e.per_col, e.frames - first);
        double x = fx.x(static_cast<double>(first) + static_cast<double>(count - 1) / 2);
        double v = pk.value * factor, y = vy.y(v);
        appendf(out,
                "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"4.5\" fill=\"none\" stroke=\"#111\" "
                "stroke-width=\"1.5\"/>\n",
                x, y);
        std::string text = "peak " + amplitude_text(v);
        if (unit[0] != '\0') text += std::string(" ") + unit;
        bool right = x > LEFT + plot_w - 170;
        double ty = y < top + 22 ? y + 17 : y - 9;
        halo_text(out, right ? x - 9 : x + 9, ty, right ? "end" : "start",
                  "font-weight=\"bold\" fill=\"#111\"", text);
    }

    // Time axis under the last panel.
    appendf(out, "<g font-size=\"11\" fill=\"#444\" text-anchor=\"middle\">");
    for (int i = 0, k = axis_ticks(tx); i < k; i++) {
        double t = axis_tick(tx, i), x = x_of_time(t);
        if (x > LEFT + plot_w + 0.5) continue;
        axis_label(label, sizeof label, tx, t);
        appendf(out, "<text x=\"%.1f\" y=\"%.1f\">%s</text>", x, bottom + 16, label);
    }
    out += "</g>\n";
    appendf(out, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\" fill=\"#444\">%s</text>\n",
            LEFT + plot_w / 2, H - 12,
            timed ? "time from the first frame [s]" : "frame (the record states no interval)");

    if (trigger_inside) {
        double x = x_of_time(d.trigger_offset);
        appendf(out,
                "<line x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#d35400\" "
                "stroke-width=\"1.5\" stroke-dasharray=\"6 4\"/>\n",
                x, TOP, x, bottom);
        halo_text(out, x + 4, TOP + 13, "start", "font-size=\"11\" fill=\"#d35400\"", "trigger");
    }
    out += "</svg>\n";
}
