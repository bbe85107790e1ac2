// qvplot: the examples' pictures byte for byte, peaks that survive every
// width and a wrong frame count, and failures and interrupts that leave
// nothing behind.
// (Well-formedness and rendering are checked in check_outputs.py.)
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <sys/wait.h>

#include "sibling.h"

namespace {

using Qvplot = sibling_test;

TEST_F(Qvplot, ThePicturesOfTheExamplesAreTheGoldenOnes) {
    // QV_UPDATE_GOLDEN=1 rewrites the golden pictures (64-bit build).
    const bool update = std::getenv("QV_UPDATE_GOLDEN") && cli::bits() == 64;
    mkdir("out");
    for (const char *f : {"event.xqv", "background.bqv", "event.txt"}) {
        put(f, cli::slurp(std::string(QV_SOURCE_DIR) + "/examples/" + f));
        cli::result r = plot({"-o", "out", f});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        std::string svg = get(std::string("out/") + f + ".svg");
        if (update) cli::spill(golden(std::string(f) + ".svg"), svg);
        EXPECT_TRUE(svg == cli::slurp(golden(std::string(f) + ".svg"))) << f << " differs";
    }
    EXPECT_EQ(plot({"event.xqv"}).status, 0);
    EXPECT_EQ(get("event.xqv.svg"), get("out/event.xqv.svg")) << "same record, same bytes";
}

// 200000 frames of three channels, a spike of +0.9 in Y at frame 123457 and
// of -0.8 in Z at frame 5, whose header announces `announced` frames.
std::string spiky_record(std::uint32_t announced) {
    cli::raw_record r = cli::event_record(200000);
    r.u32("nsamples", announced);
    std::string b = r.bytes();
    double up = 0.9, down = -0.8;
    b.replace(r.header_size() + (123457 * 3 + 1) * 8, 8, reinterpret_cast<const char *>(&up), 8);
    b.replace(r.header_size() + (5 * 3 + 2) * 8, 8, reinterpret_cast<const char *>(&down), 8);
    return b;
}

TEST_F(Qvplot, ASingleSampleSpikeKeepsItsPeakAtEveryWidthWhateverTheHeaderSays) {
    for (std::uint32_t announced : {200000u, 1000u, 0u, 40000000u}) {
        put("s.raw", spiky_record(announced));
        for (const char *width : {"320", "333", "1200", "4001"}) {
            std::remove(path("s.raw.svg").c_str()); // an existing picture is kept
            cli::result r = plot({"--width", width, "s.raw"});
            ASSERT_EQ(r.status, 0) << r.err;
            std::string svg = get("s.raw.svg");
            EXPECT_NE(svg.find(">peak 114.3 mm/s<"), std::string::npos)
                << width << " " << announced;
            EXPECT_NE(svg.find(">peak -101.6 mm/s<"), std::string::npos)
                << width << " " << announced;
            EXPECT_NE(svg.find(std::string("width=\"") + width + "\""), std::string::npos);
            EXPECT_EQ(svg.find("(the header says") != std::string::npos, announced != 200000u);
            EXPECT_LT(svg.size(), std::strtoul(width, nullptr, 10) * 300)
                << "size grows with width only";
        }
    }
}

TEST_F(Qvplot, AFailureLeavesNeitherAPictureNorATemporaryFile) {
    mkdir("a");
    mkdir("b");
    mkdir("out");
    put("a/r.raw", cli::event_record(50).bytes());
    put("b/r.raw", cli::event_record(60).bytes());
    std::string text = cli::slurp(std::string(QV_SOURCE_DIR) + "/examples/event.txt");
    std::size_t line = text.rfind("\r\n", text.size() - 200) + 2; // a malformed sample line there
    put("bad.txt", text.substr(0, line) + "0.25 1\r\n" + text.substr(line)); // a value short
    put("nothing.doc", "notes");

    cli::result r = plot({"-o", "out", "bad.txt", "a/r.raw", "b/r.raw", "nothing.doc"});
    EXPECT_EQ(r.status, 1);
    // The same lines as qvconv for the inputs it cannot read.
    for (const char *in : {"bad.txt", "nothing.doc"}) {
        std::string line = run({in, "x.raw"}).err;
        EXPECT_NE(r.err.find(line), std::string::npos) << line << "not in\n" << r.err;
    }
    // A picture's name is made up: one already there (here this run's own,
    // of a record of the same name) is never replaced.
    EXPECT_NE(r.out.find("> Skipping file b/r.raw: out/r.raw.svg exists\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(files(), (std::vector<std::string>{"a", "a/r.raw", "b", "b/r.raw", "bad.txt",
                                                 "nothing.doc", "out", "out/r.raw.svg"}));

    if (geteuid() != 0) { // root writes anywhere
        chmod(path("out").c_str(), 0555);
        put("c.raw", cli::event_record(5).bytes());
        r = plot({"-o", "out", "c.raw"});
        chmod(path("out").c_str(), 0755);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err,
                  "error: Failed to create tmp file from out/c.raw.svg: Permission denied\n");
        EXPECT_FALSE(has("out/c.raw.svg"));
    }
}

// The names in `d`, without "." and "..".
std::vector<std::string> names_in(const std::string &d) {
    std::vector<std::string> v;
    cli::list_into(d, "", v);
    return v;
}

bool temporary_there(const std::string &d) {
    for (const std::string &n : names_in(d))
        if (!n.ends_with(".svg")) return true;
    return false;
}

TEST_F(Qvplot, AnInterruptLeavesNoTemporaryPicture) {
    mkdir("in");
    mkdir("out");
    const std::string rec = cli::event_record(2000).bytes();
    for (int i = 0; i < 100; i++)
        put("in/r" + std::to_string(i) + ".raw", rec);
    // Wide pictures take a while to write: the program is held (SIGSTOP)
    // when a temporary picture shows, and interrupted when it is still
    // there once held.
    std::string out = dir + ".out", err = dir + ".err";
    pid_t pid = start({"--width", "16000", "-o", "out", "in"}, {"TZ=UTC"},
                      program("qvplot").c_str(), out, err);
    ASSERT_GT(pid, 0);
    bool interrupted = false, ended = false;
    int st = 0;
    while (!interrupted && !ended) {
        if (!temporary_there(path("out"))) {
            ended = waitpid(pid, &st, WNOHANG) == pid;
            timespec pause{0, 100000};
            nanosleep(&pause, nullptr);
            continue;
        }
        kill(pid, SIGSTOP);
        ASSERT_EQ(waitpid(pid, &st, WUNTRACED), pid);
        ended = !WIFSTOPPED(st);
        interrupted = !ended && temporary_there(path("out"));
        if (interrupted) kill(pid, SIGINT);
        kill(pid, SIGCONT);
    }
    ASSERT_TRUE(interrupted) << "no temporary picture was caught";
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGINT) << "status " << st;
    EXPECT_FALSE(temporary_there(path("out")));
    for (const std::string &n : names_in(path("out")))
        EXPECT_TRUE(get("out/" + n).ends_with("</svg>\n")) << n << " is not whole";
    EXPECT_EQ(names_in(path("in")).size(), 100u);
    EXPECT_EQ(cli::slurp(err), "");
    unlink(out.c_str());
    unlink(err.c_str());
}

} // namespace
