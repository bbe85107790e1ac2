// A thread's log sink: the driver's lines reach it whole and nowhere else.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "log.h"

namespace {

using lines = std::vector<std::pair<int, std::string>>;

void collect(void *ctx, int kind, const char *text) {
    static_cast<lines *>(ctx)->emplace_back(kind, text);
}

struct scoped_sink {
    lines got;
    log_sink previous;
    scoped_sink() : previous(log_set_sink({collect, &got})) {}
    ~scoped_sink() { log_set_sink(previous); }
};

TEST(LogSink, ReceivesEachLineOfItsThreadFormattedAndWhole) {
    scoped_sink main_sink;
    std::string long_name(3000, 'n');
    errno = ENOENT;
    log_err("open %s: %m\n", long_name.c_str());
    log_out("> Converting file %s\n", "a.raw");
    log_dbg_file = 0;
    log_trace_file("hidden\n");
    log_dbg_file = 1;
    log_trace_file("    Reading header\n");
    log_dbg_file = 0;

    lines other;
    std::thread([&other] {
        log_set_sink({collect, &other});
        log_out("from the other thread\n");
    }).join();

    lines expected = {{LOG_LINE_ERR, "open " + long_name + ": No such file or directory\n"},
                      {LOG_LINE_OUT, "> Converting file a.raw\n"},
                      {LOG_LINE_TRACE, "    Reading header\n"}};
    EXPECT_EQ(main_sink.got, expected);
    EXPECT_EQ(other, (lines{{LOG_LINE_OUT, "from the other thread\n"}}));
}

} // namespace
