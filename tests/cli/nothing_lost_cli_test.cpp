// Records are never lost on ordinary paths: directory mode never converts
// onto an existing file, a conversion onto its own input is refused, an
// interrupted conversion leaves no temporary file (nor an uncompared test
// copy), and a temporary file that cannot be made is a counted failure.
#include <csignal>
#include <ctime>

#include "cli.h"

namespace {

using cli::background_record;
using cli::event_record;
using cli::result;

using NothingLost = cli::test;

bool contains(const std::string &s, const std::string &part) {
    return s.find(part) != std::string::npos;
}

TEST_F(NothingLost, DirectoryModeSkipsAFileWhoseOutputNameExists) {
    put("ev.raw", event_record(5).bytes());
    put("bg.raw", background_record(5).bytes());
    ASSERT_EQ(run({"ev.raw", "ev.txt"}).status, 0);
    const std::string ev_raw = get("ev.raw"), ev_txt = get("ev.txt"), bg_raw = get("bg.raw");
    for (const char *f : {"ev.raw", "ev.txt", "bg.raw"})
        ::unlink(path(f).c_str());

    struct {
        std::vector<std::string> args;
        std::map<std::string, std::string> files; // all kept as they are
        std::string skipped;                      // "input: existing"
        std::string summary;
    } rows[] = {
        // A background record beside an event record's text export.
        {{"d", "raw"},
         {{"d/a.raw", bg_raw}, {"d/a.txt", ev_txt}},
         "d/a.txt: d/a.raw",
         "0 files were converted, 0 failures\n"},
        // -u deletes only what was converted.
        {{"-u", "d", "raw"},
         {{"d/a.raw", bg_raw}, {"d/a.txt", ev_txt}},
         "d/a.txt: d/a.raw",
         "0 files were converted, 0 failures\n"},
        // A user's file at the test copy's name; that file itself is tested.
        {{"-t", "d", "raw"},
         {{"d/a.raw", ev_raw}, {"d/a.raw.raw", bg_raw}},
         "d/a.raw: d/a.raw.raw",
         "1 files were converted, 0 failures\n1 files were tested, 0 failures\n"},
    };
    int n = 0;
    for (auto &row : rows) {
        SCOPED_TRACE(n++);
        mkdir("d");
        for (auto &[name, bytes] : row.files)
            put(name, bytes);
        result r = run(row.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(contains(r.out, "> Skipping file " + row.skipped + " exists\n")) << r.out;
        EXPECT_FALSE(contains(r.out, "> Converting file " +
                                         row.skipped.substr(0, row.skipped.find(':')) + "\n"))
            << r.out;
        EXPECT_TRUE(contains(r.out, "-- Finished --\n" + row.summary)) << r.out;
        std::vector<std::string> names{"d"};
        for (auto &[name, bytes] : row.files) {
            names.push_back(name);
            EXPECT_TRUE(get(name) == bytes) << name;
        }
        EXPECT_EQ(files(), names);
        std::system(("rm -rf '" + path("d") + "'").c_str());
    }

    // A dangling symbolic link holds its name too.
    mkdir("d");
    put("d/a.txt", ev_txt);
    ASSERT_EQ(symlink("gone.raw", path("d/a.raw").c_str()), 0);
    result r = run({"d", "raw"});
    EXPECT_TRUE(contains(r.out, "> Skipping file d/a.txt: d/a.raw exists\n")) << r.out;
    EXPECT_FALSE(has("d/gone.raw"));
}

TEST_F(NothingLost, ADirectoryConvertedAgainConvertsOnlyWhatIsNew) {
    mkdir("d");
    put("d/x.raw", event_record(5).bytes());
    ASSERT_EQ(run({"d", "txt"}).status, 0);
    const std::string first = get("d/x.txt");
    put("d/y.raw", event_record(7).bytes());
    result r = run({"d", "txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(contains(r.out, "> Skipping file d/x.raw: d/x.txt exists\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "> Converting file d/y.raw\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "1 files were converted, 0 failures\n")) << r.out;
    EXPECT_TRUE(get("d/x.txt") == first);
    EXPECT_EQ(files(), (std::vector<std::string>{"d", "d/x.raw", "d/x.txt", "d/y.raw", "d/y.txt"}));
}

TEST_F(NothingLost, AConversionOntoItsOwnInputIsRefused) {
    const std::string rec = event_record(5).bytes();
    put("x.raw", rec);
    ASSERT_EQ(link(path("x.raw").c_str(), path("h.raw").c_str()), 0);
    ASSERT_EQ(link(path("x.raw").c_str(), path("h.txt").c_str()), 0);
    ASSERT_EQ(symlink("x.raw", path("s.raw").c_str()), 0);
    const auto before = files();
    const std::vector<std::vector<std::string>> rows = {
        {"x.raw", "x.raw"},
        {"-u", "x.raw", "x.raw"},
        {"-t", "x.raw", "./x.raw"},
        {"-u", "x.raw", "h.raw"},
        {"x.raw", "h.txt"},
        {"-u", "x.raw", "s.raw"},
        {"-t", "-u", "s.raw", "x.raw"},
    };
    for (auto &args : rows) {
        const std::string &in = args[args.size() - 2];
        SCOPED_TRACE(in + " " + args.back());
        result r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "> Converting file " + in + "\n");
        EXPECT_EQ(r.err, "error: Input and output are the same file: " + in + "\n");
        EXPECT_EQ(files(), before);
        EXPECT_TRUE(get("x.raw") == rec);
    }
}

// A raw record of `frames` frames of silence, made as a sparse file so that
// it costs nothing to make however long its conversion takes.
void put_sparse_record(const std::string &file, std::size_t frames) {
    cli::raw_record rec = event_record(0);
    rec.u32("nsamples", static_cast<std::uint32_t>(frames));
    cli::spill(file, rec.bytes());
    ASSERT_EQ(truncate(file.c_str(), static_cast<off_t>(rec.header_size() + frames * 24)), 0);
}

// What shows that nothing wrote to a file: its size, its modification time
// and its first bytes.
std::string fingerprint(const std::string &file) {
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) return "missing";
    std::ifstream f(file, std::ios::binary);
    std::string head(4096, '\0');
    f.read(head.data(), static_cast<std::streamsize>(head.size()));
    return std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + " " + head;
}

TEST_F(NothingLost, AnInterruptLeavesNoTemporaryFileNorUncomparedCopy) {
    // 40 million frames take seconds to write as text, far longer than the
    // wait for the temporary file, even on a loaded machine.
    constexpr std::size_t FRAMES = 40000000;
    struct {
        int sig;
        std::vector<std::string> args;
        std::string in;
        std::string tmp_prefix; // the temporary file's name without its suffix
    } rows[] = {
        {SIGINT, {"big.raw", "big.txt"}, "big.raw", "big.txt."},
        {SIGTERM, {"-u", "big.raw", "big.txt"}, "big.raw", "big.txt."},
        {SIGHUP, {"d", "txt"}, "d/big.raw", "d/big.txt."},
    };
    mkdir("d");
    for (auto &row : rows) {
        SCOPED_TRACE(strsignal(row.sig));
        put_sparse_record(path(row.in), FRAMES);
        const std::string in_before = fingerprint(path(row.in));
        // An existing output the user named stays as it was.
        if (row.args[0] != "d") put("big.txt", "an older export\n");
        const auto before = files();

        std::string out = dir + ".out", err = dir + ".err";
        pid_t pid = start(row.args, {}, nullptr, out, err);
        ASSERT_GT(pid, 0);
        bool seen = false;
        for (int i = 0; i < 20000 && !seen; i++) {
            for (const std::string &f : files())
                seen = seen || f.rfind(row.tmp_prefix, 0) == 0;
            if (!seen) {
                timespec pause{0, 500000};
                nanosleep(&pause, nullptr);
            }
        }
        EXPECT_TRUE(seen) << "no temporary file appeared";
        kill(pid, row.sig);
        int st = 0;
        ASSERT_EQ(waitpid(pid, &st, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == row.sig) << "status " << st;
        EXPECT_EQ(files(), before);
        if (row.args[0] != "d") {
            EXPECT_EQ(get("big.txt"), "an older export\n");
        }
        EXPECT_TRUE(fingerprint(path(row.in)) == in_before) << "the input was touched";
        EXPECT_EQ(cli::slurp(err), "");
        unlink(out.c_str());
        unlink(err.c_str());
        unlink(path(row.in).c_str());
        unlink(path("big.txt").c_str());
    }

    // Test mode: the copy, made by this run and not yet compared, goes too,
    // so that the next -t run does not skip its input. The program is held
    // (SIGSTOP) once the copy has its name, and interrupted only when the
    // copy is still there, that is between its rename and its deletion; a
    // comparison that ended first is tried again with a longer record.
    bool interrupted = false;
    for (std::size_t frames = 2000000; !interrupted && frames <= 16000000; frames *= 2) {
        put_sparse_record(path("d/big.raw"), frames);
        const auto before = files();
        std::string out = dir + ".out", err = dir + ".err";
        pid_t pid = start({"-t", "d", "raw"}, {}, nullptr, out, err);
        ASSERT_GT(pid, 0);
        int st = 0;
        bool ended = false;
        while (!has("d/big.raw.raw") && !(ended = waitpid(pid, &st, WNOHANG) == pid)) {
            timespec pause{0, 100000};
            nanosleep(&pause, nullptr);
        }
        if (!ended) {
            kill(pid, SIGSTOP);
            ASSERT_EQ(waitpid(pid, &st, WUNTRACED), pid);
            interrupted = WIFSTOPPED(st) && has("d/big.raw.raw");
            if (interrupted) kill(pid, SIGINT);
            kill(pid, SIGCONT);
            if (WIFSTOPPED(st)) {
                ASSERT_EQ(waitpid(pid, &st, 0), pid);
            }
        }
        if (interrupted) {
            EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGINT) << "status " << st;
            EXPECT_EQ(files(), before);
            EXPECT_EQ(cli::slurp(err), "");
        }
        unlink(out.c_str());
        unlink(err.c_str());
    }
    EXPECT_TRUE(interrupted) << "every comparison ended before the interrupt";
}

TEST_F(NothingLost, ATemporaryFileThatCannotBeMadeIsACountedFailure) {
    // Root writes into any directory whatever its mode: a read-only mount
    // of the directory, in a private mount namespace, refuses everyone.
    const char *unshare = "/usr/bin/unshare";
    if (access(unshare, X_OK) != 0) GTEST_SKIP() << "no " << unshare;
    mkdir("d");
    put("d/a.raw", event_record(3).bytes());
    put("d/b.raw", background_record(3).bytes());
    const auto before = files();
    std::string script = "mount --bind d d && mount -o remount,bind,ro d d || exit 125; '" +
                         std::string(cli::program()) + "' \"$@\"";
    result r = run({"--user", "--map-root-user", "--mount", "sh", "-c", script, "sh", "d", "txt"},
                   {}, unshare);
    if (r.status == 125) GTEST_SKIP() << "cannot mount here: " << r.err;
    EXPECT_EQ(r.status, 1);
    for (const char *out : {"d/a.txt", "d/b.txt"})
        EXPECT_TRUE(contains(r.err, "error: Failed to create tmp file from " + std::string(out) +
                                        ": Read-only file system\n"))
            << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
    EXPECT_TRUE(contains(r.out, "-- Finished --\n2 files were converted, 2 failures\n")) << r.out;
    EXPECT_EQ(files(), before);
}

} // namespace
