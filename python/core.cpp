// qvconv._core: the compiled half of the Python module.
//
// Records are read and written through the format layer exactly as the
// program moves them (doubles that are fractions of full scale, a canonical
// header), and conversions run the program's own driver with its lines
// caught by a per-thread log sink. Every file operation runs with the GIL
// released; a failure becomes a C++ `failure` carrying the text the program
// prints after "error: ", which the package raises as qvconv.Error (and as
// qvconv.SystemFailure, an OSError too, when the text ends with a system
// error's text).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "convert.h"
#include "describe.h"
#include "header.h"
#include "log.h"
#include "qvfmt.h"
#include "qvraw.h"
#include "tmpfile.h"
#include "utils.h"

namespace py = pybind11;
using qvpy::header_from_dict;
using qvpy::header_to_dict;
using qvpy::moment;
using qvpy::text_of;

namespace {

// --- Failures ---------------------------------------------------------------

struct failure : std::exception {
    std::string text; // without "error: " and without the line feed
    int errnum;       // the system's error where it is known, else 0
    explicit failure(std::string t, int e = 0) : text(std::move(t)), errnum(e) {}
    const char *what() const noexcept override { return text.c_str(); }
};

std::string vformat(const char *fmt, va_list ap) {
    int saved = errno;
    char small[512];
    va_list again;
    va_copy(again, ap);
    int n = std::vsnprintf(small, sizeof small, fmt, ap);
    std::string s;
    if (n >= 0 && static_cast<std::size_t>(n) >= sizeof small) {
        s.resize(static_cast<std::size_t>(n));
        errno = saved; // for %m
        std::vsnprintf(s.data(), s.size() + 1, fmt, again);
    } else if (n >= 0) {
        s.assign(small, static_cast<std::size_t>(n));
    }
    va_end(again);
    return s;
}

[[noreturn]] __attribute__((format(printf, 1, 2))) void fail(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string s = vformat(fmt, ap);
    va_end(ap);
    throw failure(std::move(s));
}

// A path to read must name something: the program's words when it does
// not, with the system's reason. Its size in bytes.
std::uint64_t must_exist(const std::string &path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        throw failure(path + " is neither a file or a directory", errno);
    return static_cast<std::uint64_t>(st.st_size);
}

// The system error whose text closes a message, or 0. The program shows a
// system failure as the system's text after ": " (the driver's %m) or after
// the I/O layers' "On read(): " and the like, where the format layer's
// 63-character cut may shorten it: then the one error whose text begins
// with what is left.
int system_errno_of(std::string_view msg) {
    std::string_view cut;
    if (auto at = msg.rfind("(): "); at != std::string_view::npos) cut = msg.substr(at + 4);
    int found = 0, prefixed = 0, nprefixed = 0;
    for (int e = 1; e < 256; e++) {
        const char *d = strerrordesc_np(e);
        if (!d) continue;
        std::string_view text(d);
        if (msg.size() >= text.size() + 2 && msg.ends_with(text) &&
            msg.substr(msg.size() - text.size() - 2, 2) == ": ") {
            if (!found || text.size() > std::strlen(strerrordesc_np(found))) found = e;
        } else if (!cut.empty() && text.starts_with(cut)) {
            prefixed = e;
            nprefixed++;
        }
    }
    if (found) return found;
    return nprefixed == 1 ? prefixed : 0;
}

void raise_failure(const failure &f) {
    py::module_ pkg = py::module_::import("qvconv");
    py::str msg = text_of(f.text);
    int err = f.errnum ? f.errnum : system_errno_of(f.text);
    py::object exc = err ? pkg.attr("SystemFailure")(msg, err) : pkg.attr("Error")(msg);
    PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(exc.ptr())), exc.ptr());
}

// --- Interruption -------------------------------------------------------------
//
// Long loops run without the GIL; on the main thread they look for a signal
// (Ctrl-C) now and then, so that a read or write of a long record can be
// stopped. Other threads never receive Python's signals.

std::thread::id main_thread;

// Frames asked of the format layer in one call while reading.
constexpr std::size_t READ_CALL = std::size_t{1} << 16;

struct interrupt_check {
    unsigned every; // calls between two looks
    unsigned calls = 0;
    bool on_main = std::this_thread::get_id() == main_thread;
    // True when a signal handler raised; the Python error is then set.
    bool operator()() {
        if (!on_main || ++calls % every != 0) return false;
        py::gil_scoped_acquire gil;
        return PyErr_CheckSignals() != 0;
    }
};

// --- Frames in memory ---------------------------------------------------------

// A block of frames in malloc'd memory, handed to numpy at the end without
// a copy.
class frame_buffer {
public:
    explicit frame_buffer(std::size_t nchans) : width_(nchans ? nchans : 1) {}
    frame_buffer(const frame_buffer &) = delete;
    frame_buffer &operator=(const frame_buffer &) = delete;
    ~frame_buffer() { std::free(p_); }

    // Room for `frames` frames in all; false when memory runs out.
    bool reserve(std::size_t frames) {
        if (frames < 1) frames = 1;
        std::size_t bytes;
        if (__builtin_mul_overflow(frames, width_ * sizeof(double), &bytes)) return false;
        void *q = std::realloc(p_, bytes);
        if (!q) return false;
        p_ = static_cast<double *>(q);
        cap_ = frames;
        // Large blocks in huge pages, as numpy takes its own: a fault per
        // 4 KiB page would cost more than reading the record.
        constexpr std::size_t PAGE = 4096, LARGE = std::size_t{4} << 20;
        if (bytes >= LARGE) {
            auto at = (reinterpret_cast<std::uintptr_t>(q) + PAGE - 1) & ~(PAGE - 1);
            auto end = (reinterpret_cast<std::uintptr_t>(q) + bytes) & ~(PAGE - 1);
            madvise(reinterpret_cast<void *>(at), end - at, MADV_HUGEPAGE); // a hint
        }
        return true;
    }
    double *at(std::size_t frame, std::size_t nchans) { return p_ + frame * nchans; }
    std::size_t capacity() const { return cap_; }

    // A (frames, nchans) float64 array owning the memory.
    py::array release(std::size_t frames, std::size_t nchans) {
        if (frames < cap_) reserve(frames); // shrink; keeps the block if it cannot
        double *p = p_;
        p_ = nullptr;
        cap_ = 0;
        py::capsule owner(p, [](void *q) { std::free(q); });
        return py::array_t<double>({frames, nchans}, {nchans * sizeof(double), sizeof(double)}, p,
                                   owner);
    }

private:
    double *p_ = nullptr;
    std::size_t cap_ = 0;
    std::size_t width_;
};

// --- Facts of a record ----------------------------------------------------------

py::dict facts_of(const std::string &path, unsigned fmt, const qvraw_header &h) {
    qvdesc_record r;
    qvdesc_describe(&r, &h);
    py::dict d;
    d["path"] = text_of(path);
    d["format"] = qvdesc_format_word(fmt);
    // The recorder-binary files hold one of two variants, which the record's
    // type decides, whatever the extension.
    bool recbin = fmt == QVFMT_XQV || fmt == QVFMT_BQV;
    d["variant"] = recbin ? py::object(py::str(qvdesc_format_word(
                                h.file_type == QVRAW_FILETYPE_BACKGROUND ? QVFMT_BQV : QVFMT_XQV)))
                          : py::object(py::none());
    d["type"] = r.type;
    d["frames"] = r.frames;
    d["channels"] = r.nchans;
    d["rate"] = h.rate;
    d["interval"] = r.interval;
    d["duration"] = r.duration;
    d["start"] = moment(h.start_time, h);
    d["start_ns"] = h.start_time.nsec;
    d["trigger"] = r.has_trigger ? moment(h.trigger_time, h) : py::object(py::none());
    d["zone"] = r.zone_name;
    d["recorder"] = text_of(r.recorder);
    d["unit"] = r.unit;
    d["scale"] = h.sensor_scale;
    py::list names, factors, peaks, offsets;
    for (std::size_t c = 0; c < r.nchans; c++) {
        names.append(py::str(r.chan[c].name));
        factors.append(r.chan[c].factor);
        peaks.append(r.chan[c].peak);
        offsets.append(h.offset[c] * r.chan[c].factor);
    }
    d["channel_names"] = names;
    d["factors"] = factors;
    d["peaks"] = peaks;
    d["offsets"] = offsets;
    d["vsum"] = r.vsum;
    d["header"] = header_to_dict(h);
    return d;
}

// --- Reading ------------------------------------------------------------------

std::string path_of(py::handle p) {
    return py::module_::import("os").attr("fsencode")(p).cast<std::string>();
}

// An open record positioned at its first wanted frame. Calls on one reader
// from several threads are serialised.
class reader {
public:
    reader(std::string path, long long start, std::optional<long long> stop, bool scaled)
        : path_(std::move(path)), scaled_(scaled) {
        if (start < 0 || (stop && *stop < 0))
            throw py::value_error(
                "start and stop count frames from the first and cannot be negative");
        left_ = stop ? (*stop > start ? static_cast<std::uint64_t>(*stop - start) : 0) : UINT64_MAX;
        py::gil_scoped_release nogil;
        open(static_cast<std::uint64_t>(start));
    }
    reader(const reader &) = delete;
    reader &operator=(const reader &) = delete;
    ~reader() { close(); }

    py::dict facts() { return facts_of(path_, fmt_, header_); }
    std::size_t channels() const { return nchans_; }

    // Up to `max_frames` of the frames still wanted (all with -1); fewer only
    // at the end of the record or of `stop`, none after.
    py::array read(long long max_frames) {
        if (max_frames < -1) throw py::value_error("the number of frames cannot be negative");
        std::uint64_t want = max_frames < 0 ? UINT64_MAX : static_cast<std::uint64_t>(max_frames);
        frame_buffer buf(nchans_);
        std::size_t got = 0;
        bool interrupted = false;
        {
            py::gil_scoped_release nogil;
            std::lock_guard lock(mu_);
            interrupted = fill(buf, want, &got);
        }
        if (interrupted) throw py::error_already_set();
        return buf.release(got, nchans_);
    }

    void close() {
        std::lock_guard lock(mu_);
        // A failed close of an input loses nothing; the handle is kept by the
        // format layer then, and this reader lets it go.
        if (h_) qvfmt_close(h_);
        h_ = nullptr;
    }

private:
    void open(std::uint64_t start) {
        file_size_ = must_exist(path_);
        fmt_ = qvfmt_filename_to_format(path_.c_str());
        open_handle();
        nchans_ = qvraw_header_get_nchans(&header_);
        qvdesc_record r;
        qvdesc_describe(&r, &header_);
        for (std::size_t c = 0; c < nchans_; c++)
            factor_[c] = r.chan[c].factor;
        try {
            // A format that cannot seek where a read would go (past the end
            // of a damaged record, say) is read forward from a new start.
            if (!skip_to(start, true)) {
                close();
                open_handle();
                skip_to(start, false);
            }
        } catch (...) {
            close();
            throw;
        }
    }

    void open_handle() {
        if (qvfmt_open(&h_, path_.c_str(), fmt_, QVFMT_MODE_READ) != 0)
            fail("Failed to open %s: %s", path_.c_str(), qvfmt_strerr(nullptr));
        if (qvfmt_read_header(h_, &header_) != 0) {
            std::string why = qvfmt_strerr(h_);
            close();
            fail("Failed to read header from %s: %s", path_.c_str(), why.c_str());
        }
    }

    // To the first wanted frame: with `seek`, the format's seek within the
    // frames the header announces, then reading forward (a header's count
    // may be short; the raw format keeps a spectrum after the frames it
    // counts). False when the seek failed.
    bool skip_to(std::uint64_t start, bool seek) {
        if (start == 0) return true;
        std::uint64_t direct = 0;
        pos_ = 0;
        if (seek && h_->ops->seek_data) {
            direct = std::min<std::uint64_t>({start, header_.nsamples, LONG_MAX});
            pos_ = direct;
            if (direct > 0 && qvfmt_seek_data(h_, static_cast<long>(direct), nchans_, 0) < 0) {
                qvfmt_strerr(h_); // the failure is answered: read forward instead
                return false;
            }
        }
        frame_buffer scratch(nchans_);
        if (!scratch.reserve(QVFMT_BLOCK_FRAMES)) out_of_memory(QVFMT_BLOCK_FRAMES);
        for (std::uint64_t left = start - direct; left > 0;) {
            std::size_t n = std::min<std::uint64_t>(left, QVFMT_BLOCK_FRAMES);
            long got = qvfmt_read_data(h_, scratch.at(0, nchans_), n, nchans_);
            if (got < 0) fail("Failed to read data from %s: %s", path_.c_str(), qvfmt_strerr(h_));
            if (got == 0) {
                left_ = 0;
                break;
            }
            left -= static_cast<std::uint64_t>(got);
            pos_ += static_cast<std::uint64_t>(got);
        }
        return true;
    }

    // The program's words for memory that could not be had.
    [[noreturn]] void out_of_memory(std::size_t frames) const {
        fail("Failed to allocate %zu bytes of memory", frames * nchans_ * sizeof(double));
    }

    // Reads into `buf`, growing it when the count is open; true when a
    // signal interrupted.
    bool fill(frame_buffer &buf, std::uint64_t want, std::size_t *got) {
        if (!h_) fail("I/O operation on a closed record: %s", path_.c_str());
        want = std::min(want, left_);
        // Room for what the header announces from here on, as no format
        // stores a frame in less than a byte; doubled if more come.
        std::uint64_t announced = header_.nsamples > pos_ ? header_.nsamples - pos_ : 0;
        std::uint64_t first = std::min<std::uint64_t>(
            {want, std::max<std::uint64_t>(announced, QVFMT_BLOCK_FRAMES), file_size_ + 1});
        if (!buf.reserve(static_cast<std::size_t>(first)) && !buf.reserve(QVFMT_BLOCK_FRAMES))
            out_of_memory(QVFMT_BLOCK_FRAMES);
        interrupt_check interrupted{8};
        frame_buffer beyond(nchans_); // frames past a full buffer, if any come
        std::size_t n = 0;
        while (n < want) {
            // In calls of a bounded size, so that a signal is seen in time.
            std::size_t room = std::min<std::uint64_t>({buf.capacity() - n, want - n, READ_CALL});
            bool full = room == 0;
            if (full && !beyond.reserve(QVFMT_BLOCK_FRAMES)) out_of_memory(QVFMT_BLOCK_FRAMES);
            if (full) room = std::min<std::uint64_t>(QVFMT_BLOCK_FRAMES, want - n);
            double *to = full ? beyond.at(0, nchans_) : buf.at(n, nchans_);
            long r = qvfmt_read_data(h_, to, room, nchans_);
            if (r < 0) fail("Failed to read data from %s: %s", path_.c_str(), qvfmt_strerr(h_));
            if (r == 0) {
                left_ = 0;
                break;
            }
            if (full) { // the header's count was short: grow, only now
                if (!buf.reserve(buf.capacity() * 2)) out_of_memory(buf.capacity() * 2);
                std::memcpy(buf.at(n, nchans_), to,
                            static_cast<std::size_t>(r) * nchans_ * sizeof(double));
            }
            n += static_cast<std::size_t>(r);
            if (interrupted()) return true;
        }
        if (left_ != UINT64_MAX) left_ -= std::min<std::uint64_t>(left_, n);
        pos_ += n;
        if (scaled_) {
            for (std::size_t f = 0; f < n; f++) {
                double *x = buf.at(f, nchans_);
                for (std::size_t c = 0; c < nchans_; c++)
                    x[c] *= factor_[c];
            }
        }
        *got = n;
        return false;
    }

    std::mutex mu_;
    std::string path_;
    bool scaled_;
    unsigned fmt_ = QVFMT_UNKNOWN;
    qvfmt_handle *h_ = nullptr;
    qvraw_header header_{};
    std::size_t nchans_ = 0;
    double factor_[QVFMT_MAX_CHANNELS] = {};
    std::uint64_t left_ = UINT64_MAX; // frames still wanted
    std::uint64_t pos_ = 0;           // index of the next frame
    std::uint64_t file_size_ = 0;
};

// --- Writing ------------------------------------------------------------------

// Removes a temporary file when a write does not reach its rename.
struct temp_file {
    char name[PATH_BUF_SIZE];
    bool live = false;
    ~temp_file() {
        if (live) tmpfile_remove(name);
    }
};

// Writes the frames under a temporary name beside `path`, then renames it;
// true when a signal interrupted (nothing is left then).
bool write_record(const std::string &path, const double *frames, std::size_t nframes,
                  std::size_t nchans, const qvraw_header &header) {
    temp_file tmp;
    if (tmpfile_name(tmp.name, sizeof tmp.name, path.c_str()) != 0)
        fail("Failed to create tmp file from %s", path.c_str());
    if (tmpfile_create(tmp.name) != 0) fail("Failed to create tmp file from %s: %m", path.c_str());
    tmp.live = true;
    qvfmt_handle *h = nullptr;
    if (qvfmt_open(&h, tmp.name, qvfmt_filename_to_format(path.c_str()), QVFMT_MODE_WRITE) != 0)
        fail("Failed to create %s: %s", tmp.name, qvfmt_strerr(nullptr));
    struct closer {
        qvfmt_handle *&h;
        ~closer() {
            if (h) qvfmt_close(h);
        }
    } guard{h};
    if (qvfmt_write_header(h, &header) != 0)
        fail("Failed to write header to %s: %s", tmp.name, qvfmt_strerr(h));
    // In the program's blocks, so that every format sees the calls it sees
    // from a conversion.
    interrupt_check interrupted{64};
    for (std::size_t done = 0; done < nframes;) {
        std::size_t n = std::min(nframes - done, QVFMT_BLOCK_FRAMES);
        long w = qvfmt_write_data(h, frames + done * nchans, n, nchans);
        if (w != static_cast<long>(n))
            fail("Failed to write data to %s: %s", tmp.name, qvfmt_strerr(h));
        done += n;
        if (interrupted()) return true;
    }
    qvfmt_handle *closing = h;
    h = nullptr;
    if (qvfmt_close(closing) != 0) fail("Failed to close %s: %s", tmp.name, qvfmt_strerr(closing));
    // The caller named the file: it replaces what is there, as the
    // program's single-file mode does.
    if (tmpfile_commit(tmp.name, path.c_str(), output_rule::replace) != 0)
        fail("Failed to rename tmp file %s to %s: %m", tmp.name, path.c_str());
    tmp.live = false;
    return false;
}

void write_py(py::handle path_obj, py::handle data_obj, py::dict header_dict) {
    std::string path = path_of(path_obj);
    qvraw_header header = header_from_dict(header_dict);
    std::size_t nchans = qvraw_header_get_nchans(&header);
    auto data = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(data_obj);
    if (!data) throw py::type_error("data must be an array of numbers");
    if (data.ndim() == 1 && nchans == 1) data = data.reshape({data.shape(0), py::ssize_t{1}});
    if (data.ndim() != 2 || static_cast<std::size_t>(data.shape(1)) != nchans)
        throw py::value_error("data must have shape (frames, " + std::to_string(nchans) +
                              "): the header's signals give " + std::to_string(nchans) +
                              " channels");
    auto nframes = static_cast<std::size_t>(data.shape(0));
    if (nframes > UINT32_MAX) throw py::value_error("a record holds at most 4294967295 frames");
    // The frame count follows the data.
    header.nsamples = static_cast<std::uint32_t>(nframes);
    bool interrupted;
    {
        py::gil_scoped_release nogil;
        interrupted = write_record(path, data.data(), nframes, nchans, header);
    }
    if (interrupted) throw py::error_already_set();
}

// --- The program's conversions -------------------------------------------------

// The driver's switches and sink on this thread for one call, as qvconv
// sets them, restored afterwards. The error lines are kept, progress dropped.
class driver_run {
public:
    driver_run(int header_only, int repair, int recursive) {
        convert_header_only = header_only;
        repair_header = repair;
        unlink_input_file = 0;
        testing_mode = 0;
        process_subdirectories = recursive;
        log_dbg_file = log_dbg_dir = 0;
        files_converted = files_successfully_converted = 0;
        previous_ = log_set_sink({catch_line, this});
    }
    driver_run(const driver_run &) = delete;
    driver_run &operator=(const driver_run &) = delete;
    ~driver_run() { log_set_sink(previous_); }

    std::vector<std::string> errors;

private:
    static void catch_line(void *ctx, int kind, const char *text) {
        if (kind != LOG_LINE_ERR) return;
        std::string_view s(text);
        if (s.ends_with('\n')) s.remove_suffix(1);
        static_cast<driver_run *>(ctx)->errors.emplace_back(s);
    }
    log_sink previous_;
};

void convert_py(py::handle src_obj, py::handle dst_obj, bool header_only, bool repair) {
    std::string src = path_of(src_obj), dst = path_of(dst_obj);
    py::gil_scoped_release nogil;
    must_exist(src);
    driver_run run(header_only, repair, 0);
    int rc = process_file(src.c_str(), dst.c_str());
    if (!run.errors.empty()) throw failure(run.errors.front());
    if (rc != 0) fail("Failed to convert %s", src.c_str());
}

using pair_list = std::vector<std::pair<std::string, std::string>>;

int collect_pair(void *ctx, const char *in, const char *out) {
    static_cast<pair_list *>(ctx)->emplace_back(in, out);
    return 0;
}

py::tuple select_py(py::handle root_obj, const std::string &fmt_word, bool recursive) {
    std::string root = path_of(root_obj);
    unsigned fmt = qvfmt_extension_to_format(fmt_word.c_str());
    if (fmt == QVFMT_UNKNOWN) fail("Invalid format: %s", fmt_word.c_str());
    pair_list pairs;
    std::vector<std::string> errors;
    {
        py::gil_scoped_release nogil;
        char dir[PATH_BUF_SIZE];
        path_copy(dir, sizeof dir, root.c_str());
        dirname_strip(dir);
        if (dir[0] == '\0') path_copy(dir, sizeof dir, "/"); // the root is all separators
        must_exist(root);
        if (!is_dir(dir)) throw failure(root + " is not a directory", ENOTDIR);
        driver_run run(0, 0, recursive);
        if (process_dir_visit(dir, fmt, collect_pair, &pairs) != 0)
            throw failure(run.errors.empty() ? "Failed to open dir " + root : run.errors.front());
        errors = std::move(run.errors);
    }
    py::list out, errs;
    for (auto &[in, o] : pairs)
        out.append(py::make_tuple(text_of(in), text_of(o)));
    for (auto &e : errors)
        errs.append(text_of(e));
    return py::make_tuple(out, errs);
}

py::tuple convert_batch(std::vector<std::pair<py::object, py::object>> pair_objs) {
    pair_list pairs;
    for (auto &[in, out] : pair_objs)
        pairs.emplace_back(path_of(in), path_of(out));
    std::uint32_t converted = 0, succeeded = 0;
    std::vector<std::string> errors;
    {
        py::gil_scoped_release nogil;
        driver_run run(0, 0, 0);
        for (auto &[in, out] : pairs)
            process_file(in.c_str(), out.c_str(), output_rule::keep_existing);
        converted = files_converted;
        succeeded = files_successfully_converted;
        errors = std::move(run.errors);
    }
    py::list errs;
    for (auto &e : errors)
        errs.append(text_of(e));
    return py::make_tuple(converted, succeeded, errs);
}

py::list header_fields() {
    py::list l;
    for (const qvraw_field &f : QVRAW_FIELDS)
        l.append(f.name);
    return l;
}

} // namespace

PYBIND11_MODULE(_core, m) {
    main_thread = std::this_thread::get_id();
    m.doc() = "The compiled core of qvconv; use the qvconv package.";
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const failure &f) {
            raise_failure(f);
        }
    });

    py::class_<reader>(m, "Reader", "An open record positioned at its first wanted frame.")
        .def(py::init([](py::handle path, long long start, std::optional<long long> stop,
                         bool scaled) { return new reader(path_of(path), start, stop, scaled); }),
             py::arg("path"), py::arg("start") = 0, py::arg("stop") = py::none(),
             py::arg("scaled") = false)
        .def("facts", &reader::facts, "The record's facts and header as a dict.")
        .def_property_readonly("channels", &reader::channels)
        .def("read", &reader::read, py::arg("frames") = -1,
             "Up to `frames` of the wanted frames (all with -1) as a (frames, channels) array.")
        .def("close", &reader::close, "Closes the record; later reads fail.");

    m.def("write", &write_py, py::arg("path"), py::arg("data"), py::arg("header"));
    m.def("convert", &convert_py, py::arg("src"), py::arg("dst"), py::arg("header_only") = false,
          py::arg("repair") = false);
    m.def("select", &select_py, py::arg("root"), py::arg("fmt"), py::arg("recursive") = false,
          "The (input, output) pairs the program's directory mode converts, and its error lines.");
    m.def("convert_batch", &convert_batch, py::arg("pairs"),
          "Converts (input, output) pairs as the program's directory mode does; "
          "(converted, succeeded, error lines).");
    m.def("header_fields", &header_fields, "The canonical header's member names in order.");
    m.attr("HEADER_SIZE") = QVRAW_HEADER_SIZE;
    m.attr("BLOCK_FRAMES") = QVFMT_BLOCK_FRAMES;
}
