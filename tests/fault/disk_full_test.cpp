// A conversion onto a device that fills up, without any injected fault: a
// small memory file system mounted in a private mount namespace (where the
// machine lets an unprivileged user make one) receives the output.
#include <cstdlib>

#include "fault_util.h"

namespace {

using cli::result;
using fault::contains;

const char *const unshare = "/usr/bin/unshare";

class DiskFull : public fault::test {
protected:
    // Runs `command` in a shell in a new user and mount namespace in which
    // "full" is a 16 KiB file system; its standard output ends with a line
    // "--" and the names left on that file system.
    result run_on_full_device(const std::string &command) {
        mkdir("full");
        std::string script = "mount -t tmpfs -o size=16k qvfull full || exit 125; " + command +
                             "; s=$?; echo --; ls -A full; exit $s";
        return run({"--user", "--map-root-user", "--mount", "sh", "-c", script}, {}, unshare);
    }

    void SetUp() override {
        fault::test::SetUp();
        if (access(unshare, X_OK) != 0) GTEST_SKIP() << "no " << unshare;
        result probe = run_on_full_device("true");
        if (probe.status != 0)
            GTEST_SKIP() << "cannot mount a small file system here: " << probe.err;
    }
};

TEST_F(DiskFull, AFullDeviceFailsTheConversionAndKeepsTheInput) {
    // 3000 frames: more than 16 KiB in every format.
    std::string in = cli::event_record(3000).bytes();
    for (const std::string &fmt : fault::formats) {
        SCOPED_TRACE(fmt);
        put("in.raw", in);
        std::string out = "full/out." + fmt;
        result r = run_on_full_device(std::string("'") + cli::program() + "' -u in.raw " + out);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(contains(r.err, "No space left on dev")) << r.err;
        // Nothing is left on the device; the input stays in spite of -u.
        EXPECT_EQ(r.out.substr(r.out.rfind("--\n") + 3), "") << r.out;
        EXPECT_TRUE(get("in.raw") == in);
    }
}

} // namespace
