// Command-line test harness: runs the program under test (QVCONV_BIN, the
// 64-bit or the 32-bit build) in a fresh temporary directory and captures
// its exit status, standard output and standard error. Unit tests use its
// fixture for their scratch files too.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <initializer_list>
#include <map>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "qvraw.h"

extern char **environ;

namespace cli {

struct result {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void spill(const std::string &path, const std::string &bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

inline const char *program() {
    const char *p = std::getenv("QVCONV_BIN");
    return p ? p : "qvconv";
}

// 64 or 32: the width of the program under test (its raw header is 920 or
// 888 bytes), read from the class byte of its ELF header.
inline int bits() {
    static const int b = slurp(program()).substr(4, 1) == "\x01" ? 32 : 64;
    return b;
}

// Every path below `dir` (files and directories, relative, sorted).
inline void list_into(const std::string &dir, const std::string &rel, std::vector<std::string> &v) {
    DIR *d = opendir(dir.c_str());
    if (!d) return;
    while (struct dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        std::string r = rel.empty() ? n : rel + "/" + n;
        v.push_back(r);
        struct stat st;
        if (lstat((dir + "/" + n).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            list_into(dir + "/" + n, r, v);
    }
    closedir(d);
}

// A fixture that owns a fresh temporary directory and runs the program there.
class test : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override {
        const char *t = std::getenv("TMPDIR");
        std::string tmpl = std::string(t && *t ? t : "/tmp") + "/qvconv-cli-XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        ASSERT_NE(mkdtemp(buf.data()), nullptr) << std::strerror(errno);
        dir = buf.data();
    }

    void TearDown() override {
        if (!dir.empty() && !HasFailure())
            std::system(("rm -rf '" + dir + "'").c_str());
        else if (!dir.empty())
            std::fprintf(stderr, "files kept in %s\n", dir.c_str());
    }

    std::string path(const std::string &rel) const { return dir + "/" + rel; }
    void put(const std::string &rel, const std::string &bytes) const { spill(path(rel), bytes); }
    std::string get(const std::string &rel) const { return slurp(path(rel)); }
    bool has(const std::string &rel) const { return exists(path(rel)); }
    void mkdir(const std::string &rel) const { ::mkdir(path(rel).c_str(), 0777); }

    std::vector<std::string> files() const {
        std::vector<std::string> v;
        list_into(dir, "", v);
        std::sort(v.begin(), v.end());
        return v;
    }

    // Runs the program with `args` in the test directory.
    result run(std::initializer_list<std::string> args) const {
        return run(std::vector<std::string>(args));
    }

    result run(const std::vector<std::string> &args) const { return run(args, {}); }

    // Runs `prog` (the program under test when null) with `args` and the
    // extra environment entries `env` ("NAME=value") in the test directory.
    result run(const std::vector<std::string> &args, const std::vector<std::string> &env,
               const char *prog = nullptr) const {
        result r;
        std::string out_path = dir + "/../" + base() + ".stdout";
        std::string err_path = dir + "/../" + base() + ".stderr";
        pid_t pid = start(args, env, prog, out_path, err_path);
        int st = 0;
        waitpid(pid, &st, 0);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        r.out = slurp(out_path);
        r.err = slurp(err_path);
        unlink(out_path.c_str());
        unlink(err_path.c_str());
        return r;
    }

    // Starts the program as `run` does, its output going to the two files,
    // and returns its process id without waiting.
    pid_t start(const std::vector<std::string> &args, const std::vector<std::string> &env,
                const char *prog, const std::string &out_path, const std::string &err_path) const {
        std::vector<std::string> argv_s{prog ? prog : program()};
        argv_s.insert(argv_s.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (auto &a : argv_s)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);

        pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir.c_str()) != 0) _exit(126);
            // The program starts as from a shell: signals at their default
            // action and none held back, whatever this runner inherited.
            for (int sig : {SIGINT, SIGTERM, SIGHUP})
                signal(sig, SIG_DFL);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            for (auto &e : env)
                putenv(const_cast<char *>(e.c_str()));
            int o = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int nul = open("/dev/null", O_RDONLY);
            if (o < 0 || e < 0 || nul < 0) _exit(126);
            dup2(nul, 0);
            dup2(o, 1);
            dup2(e, 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return pid;
    }

private:
    std::string base() const { return dir.substr(dir.rfind('/') + 1); }
};

// --- Raw records, built from the format's offset table -----------------------
//
// Independent of the library's struct: these offsets are the on-disk layout
// of each build, so a test that converts such a record also checks the
// program's layout.

// Each field's name and its offsets in the 64-bit and in the 32-bit layout.
inline const std::map<std::string, std::pair<std::size_t, std::size_t>> &raw_fields() {
    static const std::map<std::string, std::pair<std::size_t, std::size_t>> m = [] {
        std::istringstream table(
            "file_type 8 8 rec_origin 12 12 rec_cause 16 16 nsignals 24 20 signals 32 24 "
            "split_count 48 40 dir_count 52 44 start_time 56 48 nsamples 72 56 peak 80 64 "
            "trigger_time 176 160 triggered_chans 192 168 offset 200 176 vsum 296 272 "
            "reserved_a 304 280 xqv_code 328 304 nfreqs 336 308 reserved_b 344 312 "
            "dom_freq 440 408 kbftm 536 504 model 560 528 uid 564 532 name 573 541 "
            "comment 594 562 firmware 627 595 sensor_name 640 608 sensor_type 676 644 "
            "sensor_unit 680 648 sensor_range 684 652 sensor_scale 688 656 time_mode 692 660 "
            "region 696 664 city 707 675 utc_offset 724 692 rate 728 696 filter 732 700 "
            "trig_aux_a 736 704 trig_aux_b 760 728 back_enabled 784 752 back_mode 788 756 "
            "back_period 792 760 trig_enabled 796 764 trig_mode 800 768 trig_chans 804 772 "
            "trig_logic 808 776 trig_threshold 816 784 pre_event 840 808 post_event 844 812 "
            "alarm1_enabled 848 816 alarm1_mode 852 820 alarm1_threshold 856 824 "
            "alarm2_enabled 880 848 alarm2_mode 884 852 alarm2_threshold 888 856 "
            "voltage 912 880");
        std::map<std::string, std::pair<std::size_t, std::size_t>> fields;
        std::string name;
        std::size_t o64, o32;
        while (table >> name >> o64 >> o32)
            fields[name] = {o64, o32};
        return fields;
    }();
    return m;
}

class raw_record {
public:
    explicit raw_record(int bits_ = bits()) : b(bits_), hdr(bits_ == 64 ? 920 : 888, '\0') {
        std::memcpy(&hdr[0], "Qv7kRaw", 8);
    }

    std::size_t header_size() const { return hdr.size(); }
    std::size_t at(const std::string &f, std::size_t index = 0, std::size_t width = 8) const {
        auto &o = raw_fields().at(f);
        return (b == 64 ? o.first : o.second) + index * width;
    }

    raw_record &u32(const std::string &f, std::uint32_t v, std::size_t i = 0) {
        std::memcpy(&hdr[at(f, i, 4)], &v, 4);
        return *this;
    }
    raw_record &f64(const std::string &f, double v, std::size_t i = 0) {
        std::memcpy(&hdr[at(f, i)], &v, 8);
        return *this;
    }
    // size_t fields and the timestamp's seconds follow the build's width.
    raw_record &word(const std::string &f, std::uint64_t v) {
        if (b == 64)
            std::memcpy(&hdr[at(f)], &v, 8);
        else {
            std::uint32_t w = static_cast<std::uint32_t>(v);
            std::memcpy(&hdr[at(f)], &w, 4);
        }
        return *this;
    }
    raw_record &time(const std::string &f, std::int64_t sec, std::int32_t nsec) {
        word(f, static_cast<std::uint64_t>(sec));
        std::memcpy(&hdr[at(f) + (b == 64 ? 8 : 4)], &nsec, 4);
        return *this;
    }
    raw_record &text(const std::string &f, const std::string &s) {
        std::memcpy(&hdr[at(f)], s.data(), s.size());
        return *this;
    }
    raw_record &byte(std::size_t off, char v) {
        hdr[off] = v;
        return *this;
    }
    // Signal types in frame order: VM VSum has one channel, others three.
    raw_record &signals(std::initializer_list<std::uint32_t> types) {
        word("nsignals", types.size());
        std::size_t i = 0;
        nch = 0;
        for (auto t : types) {
            u32("signals", t, i++);
            nch += t == QVRAW_SIGNAL_VM_VSUM ? 1 : 3;
        }
        return *this;
    }
    // Appends frames (nch values each) and sets nsamples to the frame count.
    raw_record &frames(const std::vector<double> &values) {
        data.append(reinterpret_cast<const char *>(values.data()), values.size() * 8);
        u32("nsamples", static_cast<std::uint32_t>(data.size() / (8 * (nch ? nch : 1))));
        return *this;
    }
    std::size_t nchans() const { return nch; }
    std::string bytes() const { return hdr + data; }
    std::string &header() { return hdr; }

private:
    int b;
    std::string hdr;
    std::string data;
    std::size_t nch = 0;
};

// A typical three-channel velocity event record with `n` frames of small
// values (its peaks, offsets and vector sum left at 0).
inline raw_record event_record(std::size_t n = 2500) {
    raw_record r;
    r.u32("file_type", QVRAW_FILETYPE_EVENT)
        .signals({QVRAW_SIGNAL_RAW})
        .u32("sensor_type", QVRAW_SENSOR_VELOCITY)
        .u32("sensor_unit", QVRAW_UNIT_MM_S);
    r.u32("sensor_range", 254)
        .u32("sensor_scale", 127)
        .u32("rate", 1024)
        .u32("time_mode", QVRAW_TIME_UTC);
    r.u32("model", QVRAW_MODEL_QV7300).time("start_time", 1700000000, 250000000);
    std::vector<double> v;
    for (std::size_t i = 0; i < n; i++)
        for (int c = 0; c < 3; c++)
            v.push_back(static_cast<double>((i * 7 + c * 13) % 101) / 128.0 - 0.25);
    return r.frames(v);
}

// A background record of peaks and frequencies: 6 channels, `n` frames (45:
// two full recorder-binary data blocks of 20 frames and one of 5).
inline raw_record background_record(std::size_t n = 45) {
    raw_record r;
    r.u32("file_type", QVRAW_FILETYPE_BACKGROUND)
        .signals({QVRAW_SIGNAL_VM_PEAK, QVRAW_SIGNAL_VM_FREQ})
        .u32("sensor_type", QVRAW_SENSOR_VELOCITY)
        .u32("sensor_unit", QVRAW_UNIT_MM_S);
    r.u32("sensor_range", 254)
        .u32("sensor_scale", 127)
        .u32("rate", 1)
        .u32("time_mode", QVRAW_TIME_LOCAL);
    r.u32("back_enabled", 1)
        .u32("back_mode", QVRAW_BACK_PEAK_FREQ)
        .u32("back_period", 60)
        .u32("rec_cause", QVRAW_CAUSE_CONTINUOUS);
    r.time("start_time", 1700000000, 0);
    std::vector<double> v;
    for (std::size_t i = 0; i < n; i++)
        for (int c = 0; c < 6; c++)
            v.push_back(c < 3 ? static_cast<double>((i * 5 + c) % 64) / 64 : 12.5 + c);
    return r.frames(v);
}

// The value of type T stored at byte `off` of `bytes`.
template <typename T = double>
T value_at(const std::string &bytes, std::size_t off) {
    T v;
    std::memcpy(&v, bytes.data() + off, sizeof v);
    return v;
}

} // namespace cli
